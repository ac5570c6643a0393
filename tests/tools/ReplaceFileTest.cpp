// replaceFile as another user of a shared folder and a careless host would
// try it: taken temporary names, long names, modes, links and signals.
#include <ReplaceFile.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace replace_file_test {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Names namesIn(const fs::path& folder) {
    Names names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// What the hooks, plain functions, act on.
fs::path victim;
fs::path planted;
int raisedSignal = 0;

// An empty folder of each case's own: CTest runs the cases in parallel.
class FileReplacement : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder_); }
    void TearDown() override {
        tools::setReplaceFileHook(nullptr);
        fs::remove_all(folder_);
    }
    const fs::path folder_ =
        fs::absolute(std::string("replace_file_test.") +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// A link to a victim file (a file on Windows) planted at the first temporary
// name, and one at the name that earlier versions used, stay untouched.
TEST_F(FileReplacement, TakenTemporaryNamesAreNeverWrittenThrough) {
    victim = folder_ / "victim";
    std::ofstream(victim) << "victim";
    Names expected = {"metrics.prom", "victim"};
#ifndef _WIN32
    const std::string oldName = "metrics.prom." + std::to_string(getpid()) + ".tmp";
    fs::create_symlink(victim, folder_ / *expected.insert(oldName).first);
#endif
    tools::setReplaceFileHook([](tools::ReplaceStep step, const std::string& temporary) {
        if (step == tools::ReplaceStep::creating && planted.empty()) {
            planted = temporary;
#ifdef _WIN32
            std::ofstream(planted) << "planted";
#else
            fs::create_symlink(victim, planted);
#endif
        }
    });
    EXPECT_EQ(tools::replaceFile((folder_ / "metrics.prom").string(), "new"), "");
    EXPECT_EQ(contentsOf(folder_ / "metrics.prom"), "new");
    EXPECT_EQ(contentsOf(victim), "victim");
    expected.insert(planted.filename().string());
    EXPECT_EQ(namesIn(folder_), expected); // and no temporary file left
}

#ifndef _WIN32
// The longest file name works, and an existing file's mode and owner stay
// (nobody's as root).
TEST_F(FileReplacement, LongestNamesModesAndOwnersAreKept) {
    const std::string file = (folder_ / (std::string(250, 'm') + ".prom")).string();
    const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    std::ofstream(file) << "old";
    for (const mode_t mode : {0600, 0444, 0751}) {
        ASSERT_EQ(chmod(file.c_str(), mode) | chown(file.c_str(), owner, owner), 0);
        EXPECT_EQ(tools::replaceFile(file, std::to_string(mode)), "");
        struct stat kept {};
        EXPECT_EQ(stat(file.c_str(), &kept), 0);
        EXPECT_EQ(std::tie(kept.st_mode, kept.st_uid, kept.st_gid),
                  std::tuple(S_IFREG | mode, owner, owner));
        EXPECT_EQ(contentsOf(file), std::to_string(mode));
    }
    EXPECT_EQ(namesIn(folder_).size(), 1u);
}

// A link stays and the file it ends at is replaced, or created, through a
// temporary file in that file's folder; not a link that another user owns
// in a sticky world-writable folder, which may point at a file of ours.
TEST_F(FileReplacement, LinksStayAndTheFileTheyEndAtIsReplaced) {
    fs::create_directories(folder_ / "real");
    fs::create_symlink("real/chained.prom", folder_ / "chain.prom");
    for (const std::string& link :
         {std::string("real/old.prom"), std::string("chain.prom"),
          (folder_ / "real" / "absolute.prom").string(), std::string("real/missing.prom")}) {
        const fs::path endsAt = fs::weakly_canonical(folder_ / link);
        if (link != "real/missing.prom") {
            std::ofstream(endsAt) << "old";
        }
        fs::create_symlink(link, folder_ / "link.prom");
        EXPECT_EQ(tools::replaceFile((folder_ / "link.prom").string(), "new"), "") << link;
        EXPECT_EQ(fs::read_symlink(folder_ / "link.prom"), link);
        EXPECT_EQ(contentsOf(endsAt), "new") << link;
        EXPECT_EQ(namesIn(folder_), (Names{"chain.prom", "link.prom", "real"}));
        fs::remove(folder_ / "link.prom");
    }
    EXPECT_EQ(namesIn(folder_ / "real").size(), 4u); // and no temporary file
    fs::create_directories(folder_ / "shared");
    fs::permissions(folder_ / "shared", fs::perms::all | fs::perms::sticky_bit);
    fs::create_symlink("../real/old.prom", folder_ / "shared" / "metrics.prom");
    ASSERT_EQ(lchown((folder_ / "shared" / "metrics.prom").c_str(), 65534, 65534), 0) << "as root";
    EXPECT_EQ(tools::replaceFile((folder_ / "shared" / "metrics.prom").string(), "planted"),
              "a symbolic link of another user in a shared folder");
    EXPECT_EQ(contentsOf(folder_ / "real" / "old.prom"), "new");
}

// SIGINT or SIGTERM between the write and the rename removes the temporary
// file, and the signal still ends the process; an ignored one stays ignored.
TEST_F(FileReplacement, SignalsBeforeTheRenameLeaveNoTemporaryFile) {
    const std::string file = (folder_ / "metrics.prom").string();
    const std::pair<int, bool> cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGTERM, true}};
    for (const auto& [signal, ignored] : cases) { // ignored: SIG_IGN
        std::ofstream(file) << "old";
        const pid_t child = fork();
        if (child == 0) {
            std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
            raisedSignal = signal;
            tools::setReplaceFileHook([](tools::ReplaceStep step, const std::string&) {
                if (step == tools::ReplaceStep::renaming) {
                    raise(raisedSignal);
                }
            });
            _exit(tools::replaceFile(file, "new").empty() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status),
                  ignored ? 0 : signal);
        EXPECT_EQ(contentsOf(file), ignored ? "new" : "old") << signal;
        EXPECT_EQ(namesIn(folder_), Names{"metrics.prom"}) << signal;
    }
}
#endif

} // namespace replace_file_test
