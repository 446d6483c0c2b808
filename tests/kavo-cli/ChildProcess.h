#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// A program started with its standard output (and error) on a pipe the test reads line by line.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 1);
            ::dup2(fds[1], 2);
            ::close(fds[0]);
            ::close(fds[1]);
            for (const auto& e : env) {
                ::putenv(const_cast<char*>(e.c_str()));
            }
            std::vector<char*> args;
            for (const auto& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~ChildProcess() {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) {
            ::close(m_out);
        }
    }

    // The next line of output, or false after timeout or at the end of the output.
    bool ReadLine(std::string* line, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                *line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                m_all += *line + "\n";
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{m_out, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buf[4096];
            const ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0) {
                return false;
            }
            m_buffer.append(buf, static_cast<std::size_t>(n));
        }
    }
    // Reads the rest of the output, then waits for the exit; the exit code, or -1 after a timeout.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        std::string line;
        while (ReadLine(&line, timeout)) {
        }
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void Signal(int sig) { ::kill(m_pid, sig); }
    const std::string& output() const { return m_all; }
    bool started() const { return m_pid > 0 && m_out >= 0; }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    bool m_exited = false;
    std::string m_buffer;
    std::string m_all;
};
