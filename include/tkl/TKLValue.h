#pragma once

#include <tkl/CommonExport.h>
#include <tkl/String.h>

namespace tkl {

/// A number that can be turned into text.
class TKL_COMMON_API TKLValue {
public:
    explicit TKLValue(const unsigned& value);
    virtual ~TKLValue();

    /// The decimal text of the value. `nilValue` is accepted for callers that
    /// pass TKLValue::nilValue(); it marks no value and changes nothing here.
    String toString(unsigned nilValue) const;

    static unsigned nilValue();

private:
    unsigned value_;
};

} // namespace tkl
