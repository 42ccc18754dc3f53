#include "job_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

#include "core/interruption.h"

namespace ndx {
namespace {

using Clock = std::chrono::steady_clock;

// What a job's group gets after SIGKILL to be gone; a group that outlives
// it holds a process this program cannot end, and is left to the system.
constexpr std::chrono::seconds killWait{2};

// The stop signals, but not one the caller chose to ignore (nohup), and SIGCHLD.
sigset_t batchSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaddset(&set, s);
    }
    return set;
}

struct Running {
    std::size_t job = 0;
    pid_t pid = -1;  // also the job's process group
    int output = -1;
    std::string pending;
    Clock::time_point start;
    bool reaped = false;
    JobEnd end;
    enum class Signal { None, Term, Kill } sent = Signal::None;
    Clock::time_point deadline;  // of the signal sent
};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Starts the job's process in its own group with its output on one pipe;
// pid -1 when no process could be made.
Running startJob(std::size_t index, const BatchJob& job, const sigset_t& childMask)
{
    Running r;
    r.job = index;
    r.start = Clock::now();
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return r;
    std::vector<char*> argv;
    for (const std::string& a : job.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string noDirectory = "cannot enter " + job.workDir + "\n";
    const std::string noProgram = "cannot start " + job.argv.front() + "\n";
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        const int none = ::open("/dev/null", O_RDONLY);
        if (none >= 0 && none != STDIN_FILENO) {
            ::dup2(none, STDIN_FILENO);
            ::close(none);
        }
        if (::chdir(job.workDir.c_str()) != 0) {
            (void)!::write(STDERR_FILENO, noDirectory.data(), noDirectory.size());
            ::_exit(127);
        }
        ::signal(SIGPIPE, SIG_DFL);
        ::sigprocmask(SIG_SETMASK, &childMask, nullptr);
        ::execv(argv[0], argv.data());
        (void)!::write(STDERR_FILENO, noProgram.data(), noProgram.size());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    if (pid < 0) {
        ::close(pipeEnds[0]);
        return r;
    }
    // Also here, so that the group exists before anyone signals it.
    ::setpgid(pid, pid);
    ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    r.pid = pid;
    r.output = pipeEnds[0];
    return r;
}

void passLines(Running& r, BatchListener& listener, bool toTheEnd)
{
    char buffer[4096];
    ssize_t got;
    while (r.output >= 0 && (got = ::read(r.output, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            // EAGAIN: all there is for now. A pipe still held open by
            // something of the group that is gone cannot give more.
            break;
        }
        r.pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t end;
        while ((end = r.pending.find('\n')) != std::string::npos) {
            listener.line(r.job, r.pending.substr(0, end));
            r.pending.erase(0, end + 1);
        }
    }
    if (toTheEnd && !r.pending.empty()) {
        listener.line(r.job, r.pending);
        r.pending.clear();
    }
}

bool groupGone(pid_t group)
{
    return ::kill(-group, 0) != 0;
}

void signalGroup(Running& r, int signalNumber, Clock::duration wait)
{
    ::kill(-r.pid, signalNumber);
    r.sent = signalNumber == SIGKILL ? Running::Signal::Kill : Running::Signal::Term;
    r.deadline = Clock::now() + wait;
}

// Collects every child that has ended: the jobs' processes, and whatever of
// their groups was left to this program (it is the subreaper).
void reapChildren(std::list<Running>& running)
{
    int status;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
        for (Running& r : running) {
            if (r.pid != pid) continue;
            r.reaped = true;
            r.end.seconds = secondsSince(r.start);
            if (WIFEXITED(status)) {
                r.end.how = JobEnd::How::Exited;
                r.end.status = WEXITSTATUS(status);
            } else {
                r.end.how = JobEnd::How::Signalled;
                r.end.status = WTERMSIG(status);
            }
        }
    }
}

}  // namespace

BatchSignals::BatchSignals()
{
    const sigset_t set = batchSignalSet();
    ::sigprocmask(SIG_BLOCK, &set, &previous_);
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    // A closed standard output must not end the batch before it has cleaned up.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previousPipe_);
}

BatchSignals::~BatchSignals()
{
    // What came after the pool had ended is dropped: the batch is over.
    signalfd_siginfo info;
    while (fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    if (fd_ >= 0) ::close(fd_);
    ::sigaction(SIGPIPE, &previousPipe_, nullptr);
    ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

int runJobPool(const std::vector<BatchJob>& jobs, int parallel, std::chrono::milliseconds stopGrace,
               BatchSignals& signals, BatchListener& listener)
{
    int wasSubreaper = 0;
    ::prctl(PR_GET_CHILD_SUBREAPER, &wasSubreaper);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    // What a job's process starts with: the signal mask this program had.
    const sigset_t childMask = signals.previousMask();
    std::list<Running> running;
    std::size_t next = 0;
    int stoppedBy = 0;

    const auto takeSignals = [&] {
        signalfd_siginfo info;
        while (::read(signals.fd(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            const int s = static_cast<int>(info.ssi_signo);
            if (s == SIGCHLD) continue;
            if (!stoppedBy) {
                stoppedBy = s;
                listener.stopping(signalName(s));
                for (Running& r : running) {
                    r.end.stopRequested = true;
                    if (r.sent == Running::Signal::None) signalGroup(r, SIGTERM, stopGrace);
                }
            } else {
                for (Running& r : running)
                    if (r.sent != Running::Signal::Kill) signalGroup(r, SIGKILL, killWait);
            }
        }
    };

    for (;;) {
        takeSignals();
        while (!stoppedBy && next < jobs.size() && running.size() < static_cast<std::size_t>(parallel)) {
            listener.started(next);
            Running r = startJob(next, jobs[next], childMask);
            if (r.pid < 0) {
                r.end.how = JobEnd::How::CouldNotStart;
                listener.ended(next++, r.end);
                continue;
            }
            running.push_back(std::move(r));
            ++next;
        }
        if (running.empty()) break;

        std::vector<pollfd> fds{{signals.fd(), POLLIN, 0}};
        for (const Running& r : running)
            if (r.output >= 0) fds.push_back({r.output, POLLIN, 0});
        // A group is watched every 100 ms once its leader has ended, and a
        // signal's deadline is kept.
        int timeout = -1;
        const Clock::time_point now = Clock::now();
        for (const Running& r : running) {
            int wait = -1;
            if (r.reaped) wait = 100;
            if (r.sent != Running::Signal::None) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(r.deadline - now).count();
                wait = static_cast<int>(std::clamp<long long>(left, 10, 100));
            }
            if (wait >= 0 && (timeout < 0 || wait < timeout)) timeout = wait;
        }
        // A failed wait (no memory for it) is tried again: leaving now would
        // leave devices running and unreported.
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) ::usleep(10000);

        takeSignals();
        for (Running& r : running) passLines(r, listener, false);
        reapChildren(running);

        for (auto r = running.begin(); r != running.end();) {
            const bool pastDeadline = r->sent != Running::Signal::None && Clock::now() >= r->deadline;
            if (r->reaped && groupGone(r->pid)) {
                // Ended, and nothing of it is left.
            } else if (!pastDeadline) {
                // What an ended job left behind is stopped like a running job.
                if (r->reaped && r->sent == Running::Signal::None) signalGroup(*r, SIGTERM, stopGrace);
                ++r;
                continue;
            } else if (r->sent == Running::Signal::Term) {
                signalGroup(*r, SIGKILL, killWait);
                ++r;
                continue;
            } else if (!r->reaped) {
                // Its own process cannot be ended: keep waiting for it.
                ++r;
                continue;
            }
            passLines(*r, listener, true);
            ::close(r->output);
            listener.ended(r->job, r->end);
            r = running.erase(r);
        }
    }
    for (; next < jobs.size(); ++next) listener.ended(next, JobEnd{});
    ::prctl(PR_SET_CHILD_SUBREAPER, wasSubreaper);
    return stoppedBy;
}

}  // namespace ndx
