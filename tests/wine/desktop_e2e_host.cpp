// Lists what the ports tell of the desktop and of colour for check-desktop.sh;
// like videoports, it declares per-monitor DPI awareness in its manifest:
//   port I display=ID primary=0|1 bounds=L,T,R,B work=L,T,R,B dpi=N
//        source=NAME scale=S color=unknown|SUPPORTED,ENABLED,WIDE,ENCODING,BITS
//   ports count=N primaries=K
#include <libVideoPortInfo/VideoPortFactoryWin7.h>

#include <cstdio>
#include <string>

using namespace libVideoPortInfo;

namespace {

std::string text(const DesktopRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

} // namespace

int main() {
    auto factory = VideoPortFactoryWin7::factory();
    const unsigned count = factory->numVideoPorts();
    unsigned primaries = 0;
    for (unsigned i = 0; i < count; ++i) {
        const auto& port = static_cast<const VideoPortWin7&>(*factory->videoPort(i));
        const std::string id = port.displayId().toUtf8();
        const auto state = port.displayState();
        const auto place = port.desktopPlace();
        if (!state || !place) {
            std::printf("port %u display=%s unused\n", i, id.c_str());
            continue;
        }
        primaries += state->primary ? 1 : 0;
        std::string colour = "unknown";
        if (const auto c = port.advancedColor()) {
            colour = std::to_string(c->supported) + "," + std::to_string(c->enabled) + "," +
                     std::to_string(c->wideColorEnforced) + "," + colorEncodingName(c->encoding) +
                     "," + std::to_string(c->bitsPerColorChannel);
        }
        std::printf("port %u display=%s primary=%d bounds=%s work=%s dpi=%u source=%s scale=%.2f "
                    "color=%s\n",
                    i, id.c_str(), state->primary ? 1 : 0, text(place->bounds).c_str(),
                    text(place->workArea).c_str(), place->dpi, dpiSourceName(place->dpiSource),
                    place->scale(), colour.c_str());
    }
    std::printf("ports count=%u primaries=%u\n", count, primaries);
    return 0;
}
