// Measures acctmap.exe's passwd rewrite under Wine against the ideal rewrite
// (bench/ideal_rewrite_win.c: blocks of 1 MiB into a fresh file, a flush, the
// old file linked and moved over the backup, the new one moved into place),
// both started by the Wine loader in one prefix that scripts/bench.sh keeps
// warm. Every command starts from the same files: the passwd file (from a
// master copy) and an older backup, nothing else, written to the disk before
// each timed run. Per size it prints each command's median and spread over
// the rounds, alternating the commands round by round, the ratio and whether
// the goal is met: acctmap.exe within 1.3 times the ideal rewrite. Timing
// never fails the run; a command that fails or rewrites wrongly does.
//
//   passwd_bench --wine LOADER --acctmap EXE --ideal EXE --user NAME
//                --folder DIR --windows-folder WINDIR [--rounds N (21)] [LINES...]
//
// DIR is a folder of the prefix's drives and WINDIR its Windows name.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Sample {
    double ms = 0;
    std::string out;
};

// Runs a command to its end: wall time from its start to its reaping, and
// what it wrote on standard output.
Sample Run(const std::vector<std::string>& words, const std::string& outPath) {
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& word : copy) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        perror(argv[0]);
        exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(child, &status, 0);
    Sample sample;
    sample.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::ostringstream out;
    out << std::ifstream(outPath, std::ios::binary).rdbuf();
    sample.out = out.str();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (%d): %s\n", words[1].c_str(), status, sample.out.c_str());
        exit(1);
    }
    return sample;
}

// A passwd file of `lines` lines as a Windows host keeps it (CR LF), with
// the login's old line in the middle; `kept` gets every other line.
void WritePasswdFiles(long lines, const std::string& master, std::string* kept) {
    std::ofstream old(master, std::ios::binary);
    kept->clear();
    char line[256];
    for (long i = 0; i < lines; ++i) {
        if (i == lines / 2) {
            old << "kim:unused_by_nt/2000/xp:1003:513:old entry:/home/kim:/bin/switch\r\n";
            continue;
        }
        snprintf(line, sizeof line,
                 "user%ld:unused_by_nt/2000/xp:%ld:10513:User %ld,U-SALES\\user%ld,"
                 "S-1-5-21-111-222-333-%ld:/home/user%ld:/bin/switch\r\n",
                 i, 2000 + i, i, i, 2000 + i, i);
        old << line;
        kept->append(line);
    }
}

std::string Read(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Every command's start: the passwd file, an older backup, nothing else, on
// the disk.
void Reset(const std::string& files, const std::string& master) {
    fs::remove_all(files);
    fs::create_directories(files);
    fs::copy_file(master, files + "/passwd");
    std::ofstream(files + "/passwd.bak", std::ios::binary) << "older:x\r\n";
    sync();
}

struct Figures {
    double median, low, high;
};

Figures Summary(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options = {{"--rounds", "21"}};
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && i + 1 < argc) {
            options[argv[i]] = argv[i + 1];
            ++i;
        } else {
            sizes.push_back(atol(argv[i]));
        }
    }
    for (const char* needed :
         {"--wine", "--acctmap", "--ideal", "--user", "--folder", "--windows-folder"}) {
        if (options[needed].empty()) {
            fprintf(stderr, "passwd_bench: %s is needed\n", needed);
            return 2;
        }
    }
    if (sizes.empty()) {
        sizes = {10000, 100000, 1000000};
    }
    const int rounds = std::max(1, atoi(options["--rounds"].c_str()));
    const std::string folder = options["--folder"];
    const std::string files = folder + "/files";
    const std::string passwd = files + "/passwd";
    const std::string windowsPasswd = options["--windows-folder"] + "\\files\\passwd";
    const std::string master = folder + "/passwd.master";
    const std::string outPath = folder + "/run.out";
    const std::vector<std::string> acctmap = {
        options["--wine"], options["--acctmap"], "-u", options["--user"], "-s", "kim"};
    std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"acctmap.exe", acctmap},
        {"ideal.exe", {options["--wine"], options["--ideal"], windowsPasswd}},
    };
    commands[0].second.insert(commands[0].second.end(), {"-f", windowsPasswd});
    // The entry acctmap.exe adds (CR LF and the line), as it prints it.
    const std::string entry = Run(acctmap, outPath).out;

    printf("%8s %10s | %-26s | %-26s | %5s | %s\n", "lines", "bytes", "acctmap.exe ms (min-max)",
           "ideal.exe ms (min-max)", "ratio", "goal");
    for (long lines : sizes) {
        std::string want;
        WritePasswdFiles(lines, master, &want);
        want += entry;
        std::map<std::string, std::vector<double>> times;
        for (int round = 0; round < rounds; ++round) {
            for (size_t k = 0; k < commands.size(); ++k) {
                // Each round starts with the other command, so that neither
                // always follows the same one.
                const auto& [name, words] = commands[(round + k) % commands.size()];
                Reset(files, master);
                const Sample sample = Run(words, outPath);
                times[name].push_back(sample.ms);
                // Each did its job: the rewritten file or a copy, the old
                // file as the backup.
                const std::string after = name == "acctmap.exe" ? want : Read(master);
                if (round == 0 && (!sample.out.empty() || Read(passwd) != after ||
                                   Read(passwd + ".bak") != Read(master))) {
                    fprintf(stderr, "%s did not rewrite the %ld-line file as it should: %s\n",
                            name.c_str(), lines, sample.out.c_str());
                    return 1;
                }
            }
        }
        const Figures mine = Summary(times["acctmap.exe"]);
        const Figures ideal = Summary(times["ideal.exe"]);
        char mineText[64];
        char idealText[64];
        snprintf(mineText, sizeof mineText, "%.1f (%.1f-%.1f)", mine.median, mine.low, mine.high);
        snprintf(idealText, sizeof idealText, "%.1f (%.1f-%.1f)", ideal.median, ideal.low,
                 ideal.high);
        printf("%8ld %10ju | %-26s | %-26s | %5.2f | %s\n", lines,
               static_cast<uintmax_t>(fs::file_size(master)), mineText, idealText,
               mine.median / ideal.median, mine.median <= 1.3 * ideal.median ? "met" : "missed");
        fflush(stdout);
    }
    printf(
        "Medians of %d rounds in ms, each under Wine with its start-up; ratio = acctmap.exe's "
        "median / ideal.exe's. Goal: at most 1.3x the ideal rewrite.\n",
        rounds);
    return 0;
}
