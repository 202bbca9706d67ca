// Measures the passwd rewrite of the real host binary on passwd files of
// 10 000, 100 000 and 1 000 000 lines with one line of the login name, next
// to the machine's floor (copying the file twice with cp) and a shell
// pipeline doing the same job (cp, grep -v, append). Prints figures; checks
// only that each run did its job.
//
//   passwd_bench [--binary PATH] [--folder DIR] [--runs N] [LINES...]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Sample {
    double seconds = 0;
    long peakKb = 0;  // of the child, as getrusage reports it
};

// Runs the words as a child with ACCTMAP_MACHINE set, its output to
// /dev/null; the time is wall-clock from fork to reaping.
Sample Run(const std::vector<std::string>& words, const std::string& machine) {
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& word : copy) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout)) {
            _exit(125);
        }
        setenv("ACCTMAP_MACHINE", machine.c_str(), 1);
        setenv("LC_ALL", "C", 1);
        execvp(argv[0], argv.data());
        _exit(126);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    Sample sample;
    sample.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sample.peakKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (%d)\n", words[0].c_str(), status);
        exit(1);
    }
    return sample;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream << bytes;
    if (!stream) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

const char kEntry[] =
    "\r\nSALES\\jdoe:unused_by_nt/2000/xp:1107:10513:Jane Doe,U-SALES\\jdoe,"
    "S-1-5-21-111-222-333-1107:/home/jdoe:/bin/switch";

// Writes a passwd file of `lines` lines as a Windows host keeps it (CR LF),
// the login name's line in the middle, and what the rewrite must make of it.
// Returns the old file's size. The files are written as they are made: the
// parent must stay small, as a child's peak memory counts what it shared
// with the parent before its exec.
size_t WritePasswdFiles(long lines, const std::string& oldPath, const std::string& wantPath) {
    FILE* old = fopen(oldPath.c_str(), "wb");
    FILE* want = fopen(wantPath.c_str(), "wb");
    if (old == nullptr || want == nullptr) {
        perror("fopen");
        exit(1);
    }
    char line[256];
    for (long i = 0; i < lines; ++i) {
        if (i == lines / 2) {
            fputs(
                "SALES\\jdoe:unused_by_nt/2000/xp:1107:10513:old entry:/home/jdoe:/bin/switch\r\n",
                old);
            continue;
        }
        snprintf(line, sizeof line,
                 "user%ld:unused_by_nt/2000/xp:%ld:10513:User %ld,U-SALES\\user%ld,"
                 "S-1-5-21-111-222-333-%ld:/home/user%ld:/bin/switch\r\n",
                 i, 2000 + i, i, i, 2000 + i, i);
        fputs(line, old);
        fputs(line, want);
    }
    fputs(kEntry, want);
    size_t size = static_cast<size_t>(ftell(old));
    fclose(old);
    fclose(want);
    return size;
}

bool SameFiles(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    char x[65536];
    char y[65536];
    for (;;) {
        first.read(x, sizeof x);
        second.read(y, sizeof y);
        if (first.gcount() != second.gcount() || memcmp(x, y, first.gcount()) != 0) {
            return false;
        }
        if (first.gcount() == 0) {
            return true;
        }
    }
}

void Restore(const std::string& master, const std::string& passwd) {
    std::filesystem::copy_file(master, passwd, std::filesystem::copy_options::overwrite_existing);
    sync();
}

const char kMachine[] = R"(family = "nt"
[drives]
C = "c-drive"
[domains]
SALES = { controller = '\\dc1' }
[[accounts]]
server = '\\dc1'
name = 'jdoe'
user_id = 1107
primary_group_id = 513
full_name = 'Jane Doe'
[lookup]
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-333-1107', domain = 'SALES' }
[registry.'SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home']
native = 'C:\cygwin\home'
[registry.'SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-111-222-333-1107']
ProfileImagePath = 'C:\cygwin\home\jdoe'
)";

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::string binary = ACCTMAP_BINARY;
    std::string folder;
    int runs = 0;
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--binary" && i + 1 < argc) {
            binary = argv[++i];
        } else if (word == "--folder" && i + 1 < argc) {
            folder = argv[++i];
        } else if (word == "--runs" && i + 1 < argc) {
            runs = atoi(argv[++i]);
        } else {
            sizes.push_back(atol(argv[i]));
        }
    }
    if (sizes.empty()) {
        sizes = {10000, 100000, 1000000};
    }
    bool ownFolder = folder.empty();
    if (ownFolder) {
        // On the disk, not in memory: the floor is the disk's.
        char pattern[] = "/var/tmp/acctmap-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    namespace fs = std::filesystem;
    fs::create_directories(folder + "/c-drive/cygwin/home/jdoe");
    const std::string machine = folder + "/machine.toml";
    WriteFile(machine, kMachine);
    const std::string passwd = folder + "/c-drive/passwd";

    printf("%9s %11s | %9s %8s %9s | %9s %6s | %9s %6s | %s\n", "lines", "bytes", "acctmap", "MB/s",
           "peak KiB", "2x cp", "ratio", "pipeline", "ratio", "goals");
    bool allGoals = true;
    for (long lines : sizes) {
        const std::string master = folder + "/passwd.old";
        const std::string want = folder + "/passwd.want";
        const size_t bytes = WritePasswdFiles(lines, master, want);
        const int count = runs > 0 ? runs : lines >= 1000000 ? 3 : 7;
        std::vector<double> mine;
        std::vector<double> floor;
        std::vector<double> pipeline;
        long peakKb = 0;
        const std::string script =
            "cp \"$1\" \"$1.bak\" && grep -v -i '^SALES\\\\jdoe:' \"$1.bak\" > \"$1\" && "
            "printf '%s' \"$2\" >> \"$1\"";
        for (int run = 0; run < count; ++run) {
            Restore(master, passwd);
            fs::remove(passwd + ".bak");
            Sample sample = Run({binary, "-u", "jdoe", "-d", "SALES", "-f", "C:\\passwd"}, machine);
            mine.push_back(sample.seconds);
            peakKb = std::max(peakKb, sample.peakKb);
            if (run == 0 && !SameFiles(passwd, want)) {
                fprintf(stderr, "acctmap did not rewrite the %ld-line file as it should\n", lines);
                return 1;
            }

            Restore(master, passwd);
            double copies = Run({"cp", passwd, passwd + ".copy1"}, machine).seconds;
            copies += Run({"cp", passwd, passwd + ".copy2"}, machine).seconds;
            floor.push_back(copies);

            Restore(master, passwd);
            pipeline.push_back(Run({"sh", "-c", script, "sh", passwd, kEntry}, machine).seconds);
            if (run == 0 && !SameFiles(passwd, want)) {
                fprintf(stderr, "the pipeline did not rewrite the %ld-line file as it should\n",
                        lines);
                return 1;
            }
        }
        double t = Median(mine);
        double f = Median(floor);
        double p = Median(pipeline);
        bool goals = t <= 2 * f && t < p;
        allGoals = allGoals && goals;
        printf("%9ld %11zu | %7.1fms %8.1f %9ld | %7.1fms %6.2f | %7.1fms %6.2f | %s\n", lines,
               bytes, t * 1000, bytes / t / 1e6, peakKb, f * 1000, t / f, p * 1000, t / p,
               goals ? "met" : "MISSED");
        fflush(stdout);
    }
    printf(
        "median of the runs; ratio = acctmap time / that time. Goals: ratio to 2x cp <= 2, "
        "to the pipeline < 1, flat peak memory.\n");
    if (ownFolder) {
        fs::remove_all(folder);
    }
    return allGoals ? 0 : 2;
}
