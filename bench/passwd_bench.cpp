// Measures acctmap.exe's passwd rewrite under Wine against the ideal rewrite
// (bench/ideal_rewrite_win.c: blocks of 1 MiB into a fresh file, a flush, the
// old file linked and moved over the backup, the new one moved into place),
// both started by the Wine loader in one prefix that scripts/bench.sh keeps
// warm. Every command starts from the same files: the passwd file (from a
// master copy) and an older backup, nothing else, written to the disk before
// each timed run. Per size it prints each command's median and spread over
// the rounds, alternating the commands round by round, the ratio and whether
// the goal is met: acctmap.exe within 1.3 times the ideal rewrite. Then, on
// a 100 000-line file, a batch of 1 000 accounts (-b) against one single run
// and against 100 single runs scaled to 1 000, and the peak memory of a
// batch of 10 000 (leave it out with --batch no), and what the system's SID
// lookup alone costs for 1 000 accounts (--lookups); then every account of
// a machine of 10 000 (-a) against one single run, and one of 100 000 for
// its time and memory (leave it out with --listing no). Timing never fails
// the run; a command that fails or rewrites wrongly does.
//
//   passwd_bench --wine LOADER --acctmap EXE --ideal EXE --lookups EXE --user NAME
//                --folder DIR --windows-folder WINDIR [--rounds N (21)]
//                [--batch no] [--listing no] [--login NAME (kim)] [LINES...]
//
// DIR is a folder of the prefix's drives and WINDIR its Windows name.
// --login names the login of the sized runs: "user500000", as long as most
// names of a file of 10^6 lines and with their first letter, has every such
// line's name folded and hashed, the filter's worst case.
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
    long peakKilobytes = 0;  // VmHWM of the process, when watched
};

// The peak resident set the kernel keeps for the process (VmHWM of
// /proc/PID/status), or -1 once it is gone.
long PeakResident(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmHWM:") == 0) {
            return atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Runs a command to its end: wall time from its start to its reaping, and
// what it wrote on standard output. `watchMemory`: its peak resident set,
// read every 2 ms while it runs (the Wine loader execs the exe in its own
// process, so the last reading is the exe's with Wine's DLLs).
Sample Run(const std::vector<std::string>& words, const std::string& outPath,
           bool watchMemory = false) {
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
    Sample sample;
    if (watchMemory) {
        while (waitpid(child, &status, WNOHANG) == 0) {
            const long peak = PeakResident(child);
            sample.peakKilobytes = std::max(sample.peakKilobytes, peak);
            usleep(2000);
        }
    } else {
        waitpid(child, &status, 0);
    }
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
// the old line of `login` in the middle; `kept` gets every other line.
void WritePasswdFiles(long lines, const std::string& master, std::string* kept,
                      const std::string& login = "kim") {
    std::ofstream old(master, std::ios::binary);
    kept->clear();
    char line[256];
    for (long i = 0; i < lines; ++i) {
        if (i == lines / 2) {
            old << login << ":unused_by_nt/2000/xp:1003:513:old entry:/home/kim:/bin/switch\r\n";
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

// The accounts file of a batch: `count` login names for the one Windows
// user whose SID Wine can look up, each with its home given, so that every
// line resolves as a real account does; the first replaces the file's "kim".
void WriteAccountsFile(const std::string& path, const std::string& user, int count) {
    std::ofstream list(path, std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string name = i == 0 ? "kim" : "kim" + std::to_string(i);
        list << "-u " << user << " -s " << name << " -p \"C:\\home dir\\" << name << "\"\r\n";
    }
}

std::string FiguresText(const Figures& figures) {
    char text[64];
    snprintf(text, sizeof text, "%.1f (%.1f-%.1f)", figures.median, figures.low, figures.high);
    return text;
}

// Many accounts in one run against the single runs it replaces, on a file of
// `lines` lines: a batch of `accounts`, one single run, `singles` single runs
// in a row (scaled to `accounts`); then the peak memory of a batch of
// `largest` accounts. Returns false when a run did not do its job.
bool MeasureBatch(const std::map<std::string, std::string>& options, long lines, int accounts,
                  int singles, int largest, int rounds) {
    const std::string folder = options.at("--folder");
    const std::string files = folder + "/files";
    const std::string master = folder + "/passwd.master";
    const std::string outPath = folder + "/run.out";
    const std::string windowsPasswd = options.at("--windows-folder") + "\\files\\passwd";
    const std::string windowsList = options.at("--windows-folder") + "\\accounts.txt";
    const std::string& wine = options.at("--wine");
    const std::string& exe = options.at("--acctmap");
    const std::string& user = options.at("--user");
    std::string kept;
    WritePasswdFiles(lines, master, &kept);

    WriteAccountsFile(folder + "/accounts.txt", user, accounts);
    const std::vector<std::string> batch = {wine, exe, "-b", windowsList, "-f", windowsPasswd};
    // What the batch adds, as its preview prints it.
    const std::string entries = Run({wine, exe, "-b", windowsList}, outPath).out;
    const std::vector<std::string> single = {
        wine, exe, "-u", user, "-s", "kim", "-p", "C:\\home dir\\kim", "-f", windowsPasswd};
    // The system's SID lookup alone for as many accounts, in each round
    // beside the batch (Wine's lookups vary from one moment to the next):
    // what a batch cannot do without.
    const std::vector<std::string> lookups = {wine, options.at("--lookups"), user,
                                              std::to_string(accounts)};
    std::vector<double> batchTimes, singleTimes, oneByOneTimes, inOneCallTimes;
    for (int round = 0; round < rounds; ++round) {
        double oneByOne = 0, inOneCall = 0;
        sscanf(Run(lookups, outPath).out.c_str(), "%lf %lf", &oneByOne, &inOneCall);
        oneByOneTimes.push_back(oneByOne);
        inOneCallTimes.push_back(inOneCall);
        Reset(files, master);
        const Sample sample = Run(batch, outPath);
        batchTimes.push_back(sample.ms);
        if (round == 0 && (!sample.out.empty() || Read(files + "/passwd") != kept + entries ||
                           Read(files + "/passwd.bak") != Read(master))) {
            fprintf(stderr, "the batch did not rewrite the %ld-line file as it should\n", lines);
            return false;
        }
        Reset(files, master);
        singleTimes.push_back(Run(single, outPath).ms);
    }
    // Single runs one after another on one file, each adding its account.
    Reset(files, master);
    double singlesMs = 0;
    for (int i = 0; i < singles; ++i) {
        std::vector<std::string> words = single;
        words[5] = "kim" + std::to_string(i + 1);
        singlesMs += Run(words, outPath).ms;
    }
    const double scaledMs = singlesMs * accounts / singles;
    const Figures batchFigures = Summary(batchTimes);
    const Figures singleFigures = Summary(singleTimes);

    WriteAccountsFile(folder + "/accounts.txt", user, largest);
    Reset(files, master);
    const Sample large = Run(batch, outPath, true);
    Reset(files, master);
    const Sample small = Run(single, outPath, true);
    const double largeMiB = large.peakKilobytes / 1024.0;
    const double smallMiB = small.peakKilobytes / 1024.0;
    const double oneByOne = Summary(oneByOneTimes).median;
    const double inOneCall = Summary(inOneCallTimes).median;

    printf("\nMany accounts in one run, on the %ld-line file (medians of %d rounds):\n", lines,
           rounds);
    printf(
        "  batch of %d accounts (-b)    %-26s ms | %5.2fx one single run | goal at most 2x: %s\n",
        accounts, FiguresText(batchFigures).c_str(), batchFigures.median / singleFigures.median,
        batchFigures.median <= 2 * singleFigures.median ? "met" : "missed");
    printf("  one single run               %-26s ms\n", FiguresText(singleFigures).c_str());
    printf(
        "  %d single runs in a row      %.0f ms, scaled to %d: %.0f ms | batch %.0fx faster | goal "
        "at least 100x: %s\n",
        singles, singlesMs, accounts, scaledMs, scaledMs / batchFigures.median,
        scaledMs >= 100 * batchFigures.median ? "met" : "missed");
    printf(
        "  peak resident set (VmHWM) of the exe's Wine process: batch of %d accounts %.1f MiB "
        "(%.1f s), one single run %.1f MiB | goal at most 32 MiB: %s\n",
        largest, largeMiB, large.ms / 1000, smallMiB, largeMiB <= 32 ? "met" : "missed");
    printf(
        "  the system's SID lookup alone, %d accounts: %.1f ms one by one (LookupAccountNameW), "
        "%.1f ms in one call (LsaLookupNames2) | the batch beyond one single run %.1f ms = %.2fx "
        "the lookups one by one | goal at most 1.2x: %s\n",
        accounts, oneByOne, inOneCall, batchFigures.median - singleFigures.median,
        (batchFigures.median - singleFigures.median) / oneByOne,
        batchFigures.median - singleFigures.median <= 1.2 * oneByOne ? "met" : "missed");
    return true;
}

// The stand-in's listing of this machine: `count` accounts user0, user1, ...
// (the names of the passwd file's lines), through ACCTMAP_NETAPI_DATA.
void ListAccountsOf(const std::map<std::string, std::string>& options, int count) {
    std::ofstream(options.at("--folder") + "/listing.txt", std::ios::binary)
        << "users\t.\tuser\t" << count << "\t2000\n";
    setenv("ACCTMAP_NETAPI_DATA", (options.at("--windows-folder") + "\\listing.txt").c_str(), 1);
}

// Every account of a machine (-a) against one single run, on a file of
// `lines` lines: a listing of `accounts`, then the memory and time of one of
// `largest`. Returns false when a run did not do its job.
bool MeasureListing(const std::map<std::string, std::string>& options, long lines, int accounts,
                    int largest, int rounds) {
    const std::string folder = options.at("--folder");
    const std::string files = folder + "/files";
    const std::string master = folder + "/passwd.master";
    const std::string outPath = folder + "/run.out";
    const std::string windowsPasswd = options.at("--windows-folder") + "\\files\\passwd";
    const std::string& wine = options.at("--wine");
    const std::string& exe = options.at("--acctmap");
    const std::string standin = getenv("ACCTMAP_NETAPI_DATA");
    std::string kept;
    WritePasswdFiles(lines, master, &kept);
    // The lines the listing replaces: user0 to user<accounts - 1>.
    std::string left;
    std::istringstream in(Read(master));
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 4, "user") != 0 || atol(line.c_str() + 4) >= accounts) {
            left += line + "\n";
        }
    }
    const std::vector<std::string> listing = {wine, exe, "-a", "-f", windowsPasswd};
    const std::vector<std::string> single = {wine, exe,          "-u", options.at("--user"),
                                             "-s", "kim",        "-p", "C:\\home dir\\kim",
                                             "-f", windowsPasswd};
    ListAccountsOf(options, accounts);
    const std::string entries = Run({wine, exe, "-a"}, outPath).out;
    std::vector<double> listingTimes, singleTimes;
    for (int round = 0; round < rounds; ++round) {
        Reset(files, master);
        ListAccountsOf(options, accounts);
        const Sample sample = Run(listing, outPath);
        listingTimes.push_back(sample.ms);
        if (round == 0 && (!sample.out.empty() || Read(files + "/passwd") != left + entries)) {
            fprintf(stderr, "the listing did not rewrite the %ld-line file as it should\n", lines);
            return false;
        }
        Reset(files, master);
        setenv("ACCTMAP_NETAPI_DATA", standin.c_str(), 1);
        singleTimes.push_back(Run(single, outPath).ms);
    }
    ListAccountsOf(options, largest);
    Reset(files, master);
    const Sample large = Run(listing, outPath, true);
    setenv("ACCTMAP_NETAPI_DATA", standin.c_str(), 1);
    const Figures listed = Summary(listingTimes);
    const Figures one = Summary(singleTimes);
    printf("\nEvery account of a machine (-a), on the %ld-line file (medians of %d rounds):\n",
           lines, rounds);
    printf(
        "  %d accounts                %-26s ms | %5.2fx one single run (%s ms) | goal at most 2x: "
        "%s\n",
        accounts, FiguresText(listed).c_str(), listed.median / one.median, FiguresText(one).c_str(),
        listed.median <= 2 * one.median ? "met" : "missed");
    printf(
        "  %d accounts, once          %.1f ms, %.2fx the %d | goal at most 12x: %s; peak "
        "resident set %.1f MiB | goal at most 64 MiB: %s\n",
        largest, large.ms, large.ms / listed.median, accounts,
        large.ms <= 12 * listed.median ? "met" : "missed", large.peakKilobytes / 1024.0,
        large.peakKilobytes <= 64 * 1024 ? "met" : "missed");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options = {{"--rounds", "21"}, {"--login", "kim"}};
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && i + 1 < argc) {
            options[argv[i]] = argv[i + 1];
            ++i;
        } else {
            sizes.push_back(atol(argv[i]));
        }
    }
    for (const char* needed : {"--wine", "--acctmap", "--ideal", "--lookups", "--user", "--folder",
                               "--windows-folder"}) {
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
        options["--wine"], options["--acctmap"], "-u", options["--user"], "-s", options["--login"]};
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
        WritePasswdFiles(lines, master, &want, options["--login"]);
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
    if (options["--batch"] != "no" &&
        !MeasureBatch(options, 100000, 1000, 100, 10000, std::min(rounds, 11))) {
        return 1;
    }
    if (options["--listing"] != "no" &&
        !MeasureListing(options, 100000, 10000, 100000, std::min(rounds, 11))) {
        return 1;
    }
    return 0;
}
