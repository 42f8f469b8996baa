// orvan_runprobe: runs one command and times it from the outside, on Linux, so the same
// measurement applies to a Windows program under Wine and to cp or rm.
//
//   orvan_runprobe [--viewer NAME] [--note FILE] [--on-viewer COMMAND]
//                  [--viewer-folder DIR] [--timeout SECONDS] -- COMMAND [ARGUMENTS...]
//
// Prints one line of key=value pairs (times in milliseconds from the start of COMMAND):
//   total          COMMAND's exit
//   viewer_start   first sight of a process whose command line holds the --viewer NAME
//                  (with --viewer-folder: only one whose current folder is directly below DIR,
//                  so that viewers other programs run elsewhere meanwhile are not taken)
//   viewer_end     that process gone (or a zombie)
//   note           modification time of --note FILE (removed before the start)
//   hwm_kib        largest VmHWM seen of COMMAND's process: "wine PROGRAM" runs the Windows
//                  program in that very process (its children, the viewer among them, are
//                  separate processes and not counted)
//   maxrss_kib     ru_maxrss of that process as wait4 reports it, a cross-check
//   exit, timeout, run_folder (the viewer's current folder)
// --on-viewer stops the viewer as soon as it is seen, runs COMMAND through the shell with
// RUN_FOLDER set to its current folder, and lets it go on: for checking the extracted tree
// in an untimed run.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string viewer;
    std::string note;
    std::string onViewer;
    std::string viewerFolder;
    double timeoutSeconds = 600;
    std::vector<char*> command;
};

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double WallNow() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// What can be read of a /proc file; a process that ends meanwhile just yields less.
std::string ReadAll(const std::string& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char block[4096];
    for (ssize_t n; (n = read(fd, block, sizeof(block))) > 0;) text.append(block, static_cast<size_t>(n));
    close(fd);
    return text;
}

// The command line with its argument separators made spaces; empty for a process that is gone.
std::string CommandLine(int pid) {
    std::string text = ReadAll("/proc/" + std::to_string(pid) + "/cmdline");
    for (char& c : text) {
        if (c == '\0') c = ' ';
    }
    return text;
}

// Running, as opposed to gone or a zombie waiting for its parent.
bool Alive(int pid) {
    const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    if (paren == std::string::npos || paren + 2 >= stat.size()) return false;
    const char state = stat[paren + 2];
    return state != 'Z' && state != 'X';
}

// True when the process runs in a folder below prefix (or prefix is empty): viewers that
// other programs started elsewhere at the same time are not ours.
std::string CurrentFolder(int pid) {
    char path[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/cwd";
    const ssize_t n = readlink(link.c_str(), path, sizeof(path) - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// True when the process runs in a folder directly below parent (or parent is empty).
bool RunsDirectlyBelow(int pid, const std::string& parent) {
    if (parent.empty()) return true;
    const std::string folder = CurrentFolder(pid);
    return folder.size() > parent.size() && folder.compare(0, parent.size(), parent) == 0 &&
           folder.find('/', parent.size()) == std::string::npos;
}

long HighWaterKib(int pid) {
    const std::string status = ReadAll("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// Watches /proc for the viewer's process. A new process id is looked at on several scans: a
// Wine process starts as a fork of its parent (with the parent's command line) and takes its
// own name and folder a little later.
class ProcessWatch {
public:
    explicit ProcessWatch(const Options& options) : options(options) {}

    // baseline: the processes already there, which are not ours.
    void Scan(double now, bool baseline = false) {
        if (options.viewer.empty() || viewerPid != 0) return;
        DIR* proc = opendir("/proc");
        if (proc == nullptr) return;
        while (dirent* item = readdir(proc)) {
            const int pid = std::atoi(item->d_name);
            if (pid <= 0) continue;
            int& looks = known[pid];
            if (looks >= kLooks) continue;
            if (baseline) {
                looks = kLooks;
                continue;
            }
            ++looks;
            if (CommandLine(pid).find(options.viewer) != std::string::npos &&
                RunsDirectlyBelow(pid, options.viewerFolder)) {
                viewerPid = pid;
                viewerStart = now;
                break;
            }
        }
        closedir(proc);
    }

    void Sample(double now, int programPid) {
        const long hwm = HighWaterKib(programPid);
        if (hwm > highWaterKib) highWaterKib = hwm;
        if (viewerPid != 0 && viewerEnd < 0 && !Alive(viewerPid)) viewerEnd = now;
    }

    int viewerPid = 0;
    double viewerStart = -1;
    double viewerEnd = -1;
    long highWaterKib = 0;

private:
    static constexpr int kLooks = 400;
    const Options& options;
    std::map<int, int> known;  // process id -> scans it was looked at on
};

bool ParseOptions(int argc, char** argv, Options& options) {
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string key = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (key == "--viewer") {
            options.viewer = value;
        } else if (key == "--note") {
            options.note = value;
        } else if (key == "--viewer-folder") {
            options.viewerFolder = value;
        } else if (key == "--on-viewer") {
            options.onViewer = value;
        } else if (key == "--timeout") {
            options.timeoutSeconds = std::atof(value);
        } else {
            return false;
        }
    }
    for (++i; i < argc; ++i) options.command.push_back(argv[i]);
    options.command.push_back(nullptr);
    return options.command.size() > 1;
}

std::string Field(const char* key, double ms) {
    char text[64];
    if (ms < 0) {
        std::snprintf(text, sizeof(text), " %s=-", key);
    } else {
        std::snprintf(text, sizeof(text), " %s=%.1f", key, ms);
    }
    return text;
}

// How the watched command ended.
struct Ending {
    int status = 0;
    rusage usage = {};
    double end = -1;
    bool timedOut = false;
    std::string runFolder;
};

// The command in a process group of its own, so that a time-out ends all it started.
pid_t StartCommand(const Options& options) {
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        execvp(options.command[0], options.command.data());
        std::perror(options.command[0]);
        _exit(127);
    }
    if (child > 0) setpgid(child, child);
    return child;
}

// Samples the processes until the command ends or its time is up; hands the viewer over to
// --on-viewer once, held still while that runs.
Ending WatchCommand(pid_t child, const Options& options, ProcessWatch& watch, double start) {
    Ending ending;
    bool handedOver = false;
    for (;;) {
        const pid_t done = wait4(child, &ending.status, WNOHANG, &ending.usage);
        const double now = Now();
        if (done == child) {
            ending.end = now;
            return ending;
        }
        if (now - start > options.timeoutSeconds * 1e3) {
            killpg(child, SIGKILL);
            wait4(child, &ending.status, 0, &ending.usage);
            ending.timedOut = true;
            return ending;
        }
        watch.Scan(now);
        watch.Sample(now, child);
        if (watch.viewerPid != 0 && ending.runFolder.empty()) ending.runFolder = CurrentFolder(watch.viewerPid);
        if (watch.viewerPid != 0 && !options.onViewer.empty() && !handedOver) {
            handedOver = true;
            kill(watch.viewerPid, SIGSTOP);
            setenv("RUN_FOLDER", ending.runFolder.c_str(), 1);
            const int result = std::system(options.onViewer.c_str());
            kill(watch.viewerPid, SIGCONT);
            if (result != 0) std::fprintf(stderr, "orvan_runprobe: --on-viewer command failed\n");
        }
        // Short enough to place the viewer's start within a millisecond, long enough to leave
        // the measured processes the CPU.
        usleep(500);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: orvan_runprobe [--viewer NAME] [--note FILE] [--on-viewer COMMAND]\n"
                     "                      [--viewer-folder DIR] [--timeout SECONDS] -- COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    if (!options.note.empty()) std::remove(options.note.c_str());
    ProcessWatch watch(options);
    watch.Scan(Now(), true);

    const double wallStart = WallNow();
    const double start = Now();
    const pid_t child = StartCommand(options);
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    const Ending ending = WatchCommand(child, options, watch, start);
    double note = -1;
    struct stat noteStat;
    if (!options.note.empty() && stat(options.note.c_str(), &noteStat) == 0) {
        note = noteStat.st_mtim.tv_sec * 1e3 + noteStat.st_mtim.tv_nsec / 1e6 - wallStart;
    }
    const double viewerStart = watch.viewerStart < 0 ? -1 : watch.viewerStart - start;
    const double viewerEnd = watch.viewerEnd < 0 ? -1 : watch.viewerEnd - start;
    std::string line = Field("total", ending.timedOut ? -1 : ending.end - start) + Field("viewer_start", viewerStart) +
                       Field("viewer_end", viewerEnd) + Field("note", note);
    const int status = ending.status;
    std::printf("%s hwm_kib=%ld maxrss_kib=%ld exit=%d timeout=%d run_folder=%s\n", line.c_str() + 1,
                watch.highWaterKib, ending.usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                ending.timedOut ? 1 : 0, ending.runFolder.empty() ? "-" : ending.runFolder.c_str());
    return ending.timedOut || !WIFEXITED(status) ? 1 : WEXITSTATUS(status);
}
