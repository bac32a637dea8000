#include "support/platform.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

#include <cstring>
#include <functional>
#include <thread>
#else
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace fs = std::filesystem;

namespace coff_test {

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

fs::path make_temp_dir(const std::string& prefix) {
    fs::path base = fs::temp_directory_path();
    if (base.string().find('.') != std::string::npos) base = fs::current_path();
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path dir = base / (prefix + std::to_string(random() % 1000000000));
        std::error_code ec;
        if (fs::create_directory(dir, ec)) return dir;
    }
    throw std::runtime_error("cannot create a temporary directory under " + base.string());
}

#if defined(_WIN32)

namespace {

// Quotes one argument the way the C runtime's command-line parser undoes it.
std::string quote(const std::string& arg) {
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') q.append(backslashes * 2 + 1, '\\');
        else q.append(backslashes, '\\');
        backslashes = 0;
        q.push_back(c);
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
}

// The variable an entry "NAME=value" or "NAME" names, with its '='.
std::string variable_of(const std::string& entry) { return entry.substr(0, entry.find('=')) + "="; }

// This process's environment block with the changes made.
std::string environment_with(const std::vector<std::string>& changes) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; entry && *entry; entry += std::strlen(entry) + 1) {
        bool changed = false;
        for (const std::string& c : changes) {
            const std::string name = variable_of(c);
            changed = changed || _strnicmp(entry, name.c_str(), name.size()) == 0;
        }
        if (!changed) block.append(entry).push_back('\0');
    }
    if (strings) FreeEnvironmentStringsA(strings);
    for (const std::string& c : changes) {
        if (c.find('=') != std::string::npos) block.append(c).push_back('\0');
    }
    block.push_back('\0');
    return block;
}

void read_all(HANDLE from, std::string& into) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) into.append(buffer, got);
    CloseHandle(from);
}

}  // namespace

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const fs::path& cwd, const ProcessSetup& setup) {
    std::string commandLine = quote(program);
    for (const std::string& a : args) commandLine += " " + quote(a);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return {};
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return {};
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = setup.sharedStreams ? outWrite : errWrite;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const std::string dir = cwd.string();
    std::string environment = environment_with(setup.environment);
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        environment.data(), dir.c_str(), &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    ProcessResult result;
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        return result;
    }
    // Both pipes are drained at once, so that neither can fill up and stall the child.
    std::thread errors(read_all, errRead, std::ref(result.err));
    read_all(outRead, result.out);
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

#else

namespace {

// The variable an entry "NAME=value" or "NAME" names, with its '='.
std::string variable_of(const std::string& entry) { return entry.substr(0, entry.find('=')) + "="; }

// This process's environment with the changes made, built before fork.
std::vector<std::string> environment_with(const std::vector<std::string>& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        bool changed = false;
        for (const std::string& c : changes) {
            const std::string name = variable_of(c);
            changed = changed || std::strncmp(*entry, name.c_str(), name.size()) == 0;
        }
        if (!changed) entries.emplace_back(*entry);
    }
    for (const std::string& c : changes) {
        if (c.find('=') != std::string::npos) entries.push_back(c);
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Reads both pipes as data arrives, so that neither can fill up and stall
// the child, until both are closed.
void drain(int outFd, int errFd, ProcessResult& result) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    char buffer[65536];
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) continue;
            const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[k]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[k].fd);
                fds[k].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
}

}  // namespace

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const fs::path& cwd, const ProcessSetup& setup) {
    ProcessResult result;
    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = environment_with(setup.environment);
    std::vector<char*> argv = pointers(argStrings);
    std::vector<char*> envp = pointers(envStrings);
    int out[2], err[2];
    if (pipe(out) != 0) return result;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(setup.sharedStreams ? out[1] : err[1], STDERR_FILENO);
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return result;
    }
    drain(out[0], err[0], result);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

#endif

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const fs::path& cwd, const std::string& locale) {
    return run_process(program, args, cwd, ProcessSetup{{"LC_ALL=" + locale}, false});
}

}  // namespace coff_test
