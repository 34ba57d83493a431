// SPDX-License-Identifier: BSD-3-Clause
// The command-line programs given files that no user means to give them: each says what
// is wrong (with the line, where there is one) and exits with status 2, in bounded
// memory. Files are checked before any reader is reached, so no daemon is needed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string err;
    long peakKiB = 0;
};

// Runs the program, its standard error into a file; its peak resident memory from wait4.
Outcome runTool(const std::vector<std::string>& args, const fs::path& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    Outcome outcome;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.peakKiB = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream in(errFile, std::ios::binary);
    outcome.err.assign(std::istreambuf_iterator<char>(in), {});
    return outcome;
}

TEST(HostileFiles, ToolsSayWhatIsWrongAndExitWithStatus2) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessary-hostile-" + std::to_string(::getpid()));
    fs::create_directories(dir / "folder");
    const auto file = [&](const char* name) { return (dir / name).string(); };

    std::mt19937 random(14);
    std::string garbage(65536, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    std::ofstream(file("garbage"), std::ios::binary) << garbage;
    {
        std::ofstream lines(file("lines"), std::ios::binary);
        for (int i = 1; i < 10000; ++i) {
            lines << "00 84 00 00 08\n";
        }
        lines << "00 84 00 00 0G\n";
        std::ofstream image(file("image"), std::ios::binary);
        image << "tessary-memcard SLE4442 2026-12-08T09:29:03Z\ncounter 07\n";
        for (int i = 0; i < 10000; ++i) {
            image << "# a comment line\n";
        }
        std::ofstream big(file("big"), std::ios::binary);
        const std::string chunk = [] {
            std::string text;
            while (text.size() < (1u << 20)) {
                text += "00 84 00 00 08\n";
            }
            return text;
        }();
        for (int i = 0; i < 100; ++i) {
            big << chunk;
        }
    }
    // Targets an image must never replace; read refuses them before it looks for a reader.
    ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "fifo", dir / "link");
    const std::string run = TESSARY_RUN;
    const std::string memcard = TESSARY_MEMCARD;
    const struct {
        std::vector<std::string> args;
        std::string err; // what standard error must hold
    } cases[] = {
        {{run, file("garbage")}, "tessary-run: " + file("garbage") + ":1: "},
        {{run, file("lines")}, file("lines") + ":10000: "},
        {{run, file("big")}, file("big") + ": larger than 16 MiB"},
        {{run, file("folder")}, file("folder") + ": Is a directory"},
        // Opens, but every read fails.
        {{run, "/proc/self/mem"}, "/proc/self/mem: Input/output error"},
        {{memcard, "diff", file("garbage"), file("garbage")},
         "tessary-memcard: " + file("garbage") + ":1: "},
        {{memcard, "diff", file("image"), file("image")},
         file("image") + ":2001: too many lines for an image (at most 2000)"},
        {{memcard, "diff", file("big"), file("big")}, file("big") + ":1: not a tessary-memcard"},
        {{memcard, "diff", file("folder"), file("folder")}, "cannot open " + file("folder")},
        {{memcard, "diff", "/proc/self/mem", "/proc/self/mem"},
         "cannot read /proc/self/mem: Input/output error"},
        {{memcard, "read", "-r", "none", file("fifo")},
         "cannot write " + file("fifo") + ": is not a regular file; it is left as it is"},
        {{memcard, "read", "-r", "none", file("link")},
         "cannot write " + file("link") + ": is not a regular file; it is left as it is"},
        {{memcard, "read", "-r", "none", "/dev/null"}, "cannot write /dev/null: is not a regular"},
        {{memcard, "read", "-r", "none", file("folder")}, file("folder") + ": is a folder"},
        {{memcard, "verify", "--psc-file", file("garbage")},
         file("garbage") + ": its first line is"},
        {{memcard, "verify", "--psc-file", "/dev/zero"}, "/dev/zero: its first line is not a PSC"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = runTool(c.args, dir / "err");
        const std::string what = c.args[0] + " " + c.args.back();
        EXPECT_EQ(outcome.status, 2) << what;
        EXPECT_NE(outcome.err.find(c.err), std::string::npos) << what << ": " << outcome.err;
#ifndef __SANITIZE_ADDRESS__
        // Never the whole of a 100 MB file in memory (the sanitizers keep freed memory).
        EXPECT_LT(outcome.peakKiB, 64 * 1024) << what;
#endif
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    fs::remove_all(dir);
}

} // namespace
