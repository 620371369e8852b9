#include "users/password_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "users/names.h"
#include "users/secret.h"

namespace kstbell::users {

namespace {

bool IsTerminal(const std::istream& in) {
    return &in == &std::cin && ::isatty(STDIN_FILENO);
}

// Switches the terminal's echo off for its lifetime.
class TNoEcho {
  public:
    explicit TNoEcho(bool terminal) {
        if (!terminal || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;  // the line end still shows
        active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~TNoEcho() {
        if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    TNoEcho(const TNoEcho&) = delete;
    TNoEcho& operator=(const TNoEcho&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool ReadFile(const std::filesystem::path& file, std::ostream& err, std::string& password,
              std::string& error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = file.string() + ": the password file cannot be read";
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        error = file.string() + ": the password file cannot be read";
        return false;
    }
    if (info.st_mode & S_IROTH) {
        ::close(fd);
        error = file.string() + " can be read by others (mode " + Mode(info.st_mode) +
                "): make it readable by its owner only (chmod 600)";
        return false;
    }
    if (info.st_mode & S_IRGRP) {
        err << "warning: " << file.string() << " can be read by its group (mode "
            << Mode(info.st_mode) << "): make it readable by its owner only (chmod 600)\n";
    }
    // The first line, and no more of the file than the longest password and its line end.
    std::string text(kMaxPasswordBytes + 2, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
        if (got <= 0) break;
        size += static_cast<std::size_t>(got);
        if (text.find('\n') < size) break;
    }
    ::close(fd);
    text.resize(std::min(size, text.find('\n')));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    password.swap(text);
    Wipe(text);
    if (password.empty()) {
        error = file.string() + ": the password file's first line is empty";
        return false;
    }
    return true;
}

// Reads a line, asking for it first on a terminal (piped in, the lines come unasked).
bool Ask(bool terminal, const std::string& prompt, std::istream& in, std::ostream& err,
         std::string& line) {
    if (terminal) err << prompt << std::flush;
    return static_cast<bool>(std::getline(in, line));
}

}  // namespace

bool ReadNewPassword(const std::optional<std::filesystem::path>& file, const std::string& user,
                     std::istream& in, std::ostream& err, std::string& password,
                     std::string& error) {
    if (file) return ReadFile(*file, err, password, error);
    const bool terminal = IsTerminal(in);
    const TNoEcho quiet(terminal);
    std::string first, second;
    const bool read = Ask(terminal, "New password for " + user + ": ", in, err, first) &&
                      Ask(terminal, "Again: ", in, err, second);
    const bool same = read && first == second;
    if (same) password.swap(first);
    Wipe(first);
    Wipe(second);
    if (!read) error = "no password was given";
    if (read && !same) error = "the two passwords differ; nothing was changed";
    return same;
}

}  // namespace kstbell::users
