// Measures the passwd rewrite against what any rewrite must cost, with every
// command started from the same files: the passwd file (from a master copy)
// and an older backup, nothing else, written to the disk before each timed
// run. Per size it prints each command's median and spread over the rounds,
// alternating the commands round by round, the ratios, acctmap's peak memory
// and a verdict on the goals:
//
//   acctmap   the host build, on a machine whose drive C: is the bench folder
//   ideal     bench/ideal_rewrite.c: blocks of 1 MiB into a fresh file, fsync,
//             link and rename to the backup, rename into place
//   2x cp     the file copied twice with cp
//   pipeline  cp to the backup, grep -v of the login's lines, the entry appended
//   .exe      acctmap.exe and ideal_rewrite.exe (ReplaceFileA with the backup)
//             under Wine, when --wine names the loader; the exes lie in the
//             bench folder, with the Wine prefix ready and kept warm.
//
//   passwd_bench --binary PATH --ideal PATH --folder DIR [--rounds N (21)]
//                [--wine LOADER --wine-user NAME] [LINES...]
//
// Goals: acctmap within 1.3 times the ideal rewrite, on the host and under
// Wine; at most 0.6 times the pipeline; at most 5 MiB of memory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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

// Runs a command to its end in the bench folder: wall time from its start to
// its reaping, and its peak memory.
Sample Run(const std::vector<std::string>& words, const std::string& folder) {
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& word : copy) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    const std::string outPath = folder + "/run.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = -1;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        perror(argv[0]);
        exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(child, &status, 0);
    Sample sample;
    sample.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
    std::ostringstream out;
    out << std::ifstream(outPath).rdbuf();
    sample.out = out.str();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (%d): %s\n", words[0].c_str(), status, sample.out.c_str());
        exit(1);
    }
    return sample;
}

const char kEntry[] =
    "\r\nkim:unused_by_nt/2000/xp:1003:513:Kim,U-WS01\\kim,S-1-5-21-7-8-9-1003:"
    "/cygdrive/C/users/kim:/bin/switch";

// A passwd file of `lines` lines as a Windows host keeps it (CR LF), the
// login's line in the middle, and what the rewrite must make of it.
void WritePasswdFiles(long lines, const std::string& master, const std::string& want) {
    std::ofstream old(master, std::ios::binary);
    std::ofstream fresh(want, std::ios::binary);
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
        fresh << line;
    }
    fresh << kEntry;
}

std::string Read(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Every command's start: the passwd file, an older backup, nothing else, on
// the disk.
void Reset(const std::string& folder, const std::string& master) {
    const std::string passwd = folder + "/c/passwd";
    for (const char* suffix : {".copy1", ".copy2", ".ideal-new", ".acctmap-new"}) {
        fs::remove(passwd + suffix);
    }
    fs::copy_file(master, passwd, fs::copy_options::overwrite_existing);
    std::ofstream(passwd + ".bak", std::ios::binary | std::ios::trunc) << "older:x\r\n";
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

// A child's peak memory counts the pages it shared with its parent until its
// exec, so acctmap's is taken by a fresh, small copy of this program that
// starts it (--peak-of COMMAND...) and prints the peak in KiB.
int PeakOf(char** command) {
    pid_t child = fork();
    if (child == 0) {
        execvp(command[0], command);
        _exit(126);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    printf("%ld", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int main(int argc, char** argv) {
    if (argc > 2 && strcmp(argv[1], "--peak-of") == 0) {
        return PeakOf(argv + 2);
    }
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
    if (sizes.empty()) {
        sizes = {10000, 100000, 1000000};
    }
    const std::string folder = options["--folder"];
    const bool wine = !options["--wine"].empty();
    const int rounds = std::max(1, atoi(options["--rounds"].c_str()));
    std::ofstream(folder + "/machine.toml")
        << "account_lines = 'accounts.txt'\n[drives]\nC = 'c'\n[lookup]\n"
           "'kim' = { sid = 'S-1-5-21-7-8-9-1003', domain = 'WS01' }\n"
           "[registry.'SOFTWARE\\Wow6432Node\\Cygnus Solutions\\Cygwin\\mounts v2\\/home']\n"
           "native = 'C:\\home'\n"
           "[registry.'SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
           "S-1-5-21-7-8-9-1003']\nProfileImagePath = 'C:\\users\\kim'\n";
    std::ofstream(folder + "/accounts.txt") << "user\t.\tkim\t1003\t513\tKim\n";
    fs::create_directories(folder + "/c/users/kim");
    fs::create_directories(folder + "/c/home");
    setenv("ACCTMAP_MACHINE", (folder + "/machine.toml").c_str(), 1);
    setenv("LC_ALL", "C", 1);

    const std::string passwd = folder + "/c/passwd";
    const std::string windowsPasswd = "Z:" + passwd;
    std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"acctmap", {options["--binary"], "-u", "kim", "-f", "C:\\passwd"}},
        {"ideal", {options["--ideal"], passwd}},
        {"2x cp", {"sh", "-c", "cp \"$1\" \"$1.copy1\" && cp \"$1\" \"$1.copy2\"", "sh", passwd}},
        {"pipeline",
         {"sh", "-c",
          "cp \"$1\" \"$1.bak\" && grep -v -i '^kim:' \"$1.bak\" > \"$1\" && printf '%s' \"$2\" >> "
          "\"$1\"",
          "sh", passwd, kEntry}},
    };
    if (wine) {
        commands.push_back({"acctmap.exe",
                            {options["--wine"], folder + "/acctmap.exe", "-u",
                             options["--wine-user"], "-s", "kim", "-f", windowsPasswd}});
        commands.push_back({"ideal.exe",
                            {options["--wine"], folder + "/ideal_rewrite.exe", windowsPasswd}});
    }

    printf("%8s %10s | %-22s | %-22s %6s | %9s %6s | %9s %6s | %8s", "lines", "bytes",
           "acctmap ms (min-max)", "ideal ms (min-max)", "ratio", "2x cp", "ratio", "pipeline",
           "ratio", "peak KiB");
    printf(wine ? " | %-22s | %9s %6s | %s\n" : " | %s\n", wine ? "acctmap.exe ms (min-max)" : "goals",
           "ideal.exe", "ratio", "goals");
    bool allMet = true;
    for (long lines : sizes) {
        const std::string master = folder + "/passwd.master";
        const std::string want = folder + "/passwd.want";
        WritePasswdFiles(lines, master, want);
        std::map<std::string, std::vector<double>> times;
        long peakKb = 0;
        for (int round = 0; round < rounds; ++round) {
            for (size_t k = 0; k < commands.size(); ++k) {
                // Each round starts with another command, so that none always
                // follows the same one.
                const auto& [name, words] = commands[(round + k) % commands.size()];
                Reset(folder, master);
                const Sample sample = Run(words, folder);
                times[name].push_back(sample.ms);
                // Each did its job: the rewrite's file, or the same length.
                const bool rewrite = name == "acctmap" || name == "pipeline";
                if (round == 0 && ((rewrite && Read(passwd) != Read(want)) ||
                                   (name == "acctmap.exe" && (!sample.out.empty() ||
                                                              Read(passwd).find("\r\nkim:old") !=
                                                                  std::string::npos)))) {
                    fprintf(stderr, "%s did not rewrite the %ld-line file as it should\n",
                            name.c_str(), lines);
                    return 1;
                }
            }
        }
        std::vector<std::string> peak = {fs::read_symlink("/proc/self/exe"), "--peak-of"};
        peak.insert(peak.end(), commands[0].second.begin(), commands[0].second.end());
        Reset(folder, master);
        peakKb = atol(Run(peak, folder).out.c_str());
        const Figures mine = Summary(times["acctmap"]);
        const double ideal = Summary(times["ideal"]).median;
        const double floor = Summary(times["2x cp"]).median;
        const double pipeline = Summary(times["pipeline"]).median;
        bool met = mine.median <= 1.3 * ideal && mine.median <= 0.6 * pipeline &&
                   peakKb <= 5 * 1024;
        char range[64];
        snprintf(range, sizeof range, "%.1f (%.1f-%.1f)", mine.median, mine.low, mine.high);
        printf("%8ld %10zu | %-22s | %-22.1f %6.2f | %9.1f %6.2f | %9.1f %6.2f | %8ld", lines,
               fs::file_size(master), range, ideal, mine.median / ideal, floor,
               mine.median / floor, pipeline, mine.median / pipeline, peakKb);
        if (wine) {
            const Figures exe = Summary(times["acctmap.exe"]);
            const double idealExe = Summary(times["ideal.exe"]).median;
            met = met && exe.median <= 1.3 * idealExe;
            snprintf(range, sizeof range, "%.1f (%.1f-%.1f)", exe.median, exe.low, exe.high);
            printf(" | %-22s | %9.1f %6.2f", range, idealExe, exe.median / idealExe);
        }
        printf(" | %s\n", met ? "met" : "MISSED");
        fflush(stdout);
        allMet = allMet && met;
    }
    printf("Medians of %d rounds in ms; ratio = acctmap's median / that command's. Goals: at most "
           "1.3x the ideal rewrite (host and Wine), 0.6x the pipeline, 5 MiB of memory.\n",
           rounds);
    return allMet ? 0 : 2;
}
