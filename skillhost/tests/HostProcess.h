// The skillhost program run as its own process, as operators and service managers run it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

class HostProcess {
public:
    // Output goes to files, read back once the process ends.
    HostProcess(const std::vector<std::string>& arguments, const std::string& outputs)
        : out(outputs + ".out"), err(outputs + ".err") {
        std::vector<std::string> all{SKILLHOST};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (posix_spawn(&pid, SKILLHOST, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~HostProcess() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            Wait();
        }
        std::remove(out.c_str());
        std::remove(err.c_str());
    }

    void Signal(int signal) const { ::kill(pid, signal); }
    // The exit status, or 128 + the signal that ended it.
    int Wait() {
        if (pid <= 0) return 127;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Out() const { return Read(out); }
    std::string Err() const { return Read(err); }

    // Runs to the end.
    static int Run(const std::vector<std::string>& arguments, const std::string& outputs,
                   std::string* output = nullptr, std::string* errors = nullptr) {
        HostProcess host(arguments, outputs);
        const int status = host.Wait();
        if (output) *output = host.Out();
        if (errors) *errors = host.Err();
        return status;
    }
    static std::string Read(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }

private:
    pid_t pid = -1;
    std::string out, err;
};
