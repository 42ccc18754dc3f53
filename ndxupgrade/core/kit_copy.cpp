#include "kit_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <iterator>
#include <thread>
#include <vector>

#include "scrambler.h"
#include "upgrade.h"

namespace ndx {

namespace fs = std::filesystem;

const char* const kitCopyStampName = ".installed-kit";

namespace {

const char* const stampHeader = "ndxupgrade kit copy 1";
constexpr auto lockWait = std::chrono::seconds(10);

// What one path holds, as a text that is equal exactly when the contents are:
// "file\t<size>\t<hash>", "link\t<target>", "missing" or "other".
using State = std::string;
const State missingState = "missing";

// Relative path ("Tool/connect.txt") to what the installed kit holds there.
using Manifest = std::map<std::string, State>;

std::string reason(const fs::path& path, const std::error_code& ec)
{
    return path.string() + ": " + ec.message();
}

bool isLink(const State& state) { return state.rfind("link\t", 0) == 0; }

// FNV-1a over the bytes, with their count: enough to tell an edited file
// from the one that was copied.
class ContentHash {
public:
    void add(const unsigned char* bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) hash_ = (hash_ ^ bytes[i]) * 1099511628211ull;
        size_ += count;
    }
    State state() const
    {
        char text[64];
        std::snprintf(text, sizeof text, "file\t%" PRIu64 "\t%016" PRIx64, size_, hash_);
        return text;
    }

private:
    std::uint64_t hash_ = 14695981039346656037ull, size_ = 0;
};

bool fileState(const fs::path& path, State& state, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path.string() + ": " + std::strerror(errno);
        return false;
    }
    ContentHash hash;
    unsigned char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            error = path.string() + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        hash.add(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    state = hash.state();
    return true;
}

State bytesState(const std::vector<std::uint8_t>& bytes)
{
    ContentHash hash;
    hash.add(bytes.data(), bytes.size());
    return hash.state();
}

bool readBytes(const fs::path& path, std::vector<std::uint8_t>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        error = path.string() + ": cannot be read";
        return false;
    }
    return true;
}

// A stamp line is "<path>\t<state>": a path with a tab or a line break, or a
// link target with a line break, cannot be recorded.
bool recordable(const std::string& relative, const State& state)
{
    return relative.find_first_of("\t\n") == std::string::npos && state.find('\n') == std::string::npos;
}

struct InstalledKit {
    Manifest manifest;
    std::map<std::string, fs::path> files;  // the files to copy, by relative path
};

// The installed kit's Tool/ and Kernel/. Links are recorded with an absolute
// target (a relative one is taken from where the link lies), and so are the
// Tool/ programs: the copy runs the installed programs, never copies of them.
bool readInstalledKit(const fs::path& kit, InstalledKit& out, std::string& error)
{
    for (const char* part : {"Tool", "Kernel"}) {
        std::error_code ec;
        const fs::path top = kit / part;
        const fs::path physicalTop = fs::weakly_canonical(top, ec);
        if (ec) {
            error = reason(top, ec);
            return false;
        }
        fs::path where = top;  // for the message when something cannot be read
        fs::recursive_directory_iterator it(top, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const fs::path& path = it->path();
            where = path;
            const std::string relative = path.lexically_relative(kit).generic_string();
            const fs::file_status status = it->symlink_status(ec);
            if (ec) break;
            State state;
            if (fs::is_symlink(status)) {
                fs::path target = fs::read_symlink(path, ec);
                if (ec) break;
                if (target.is_relative())
                    target = (physicalTop / path.parent_path().lexically_relative(top) / target).lexically_normal();
                state = "link\t" + target.string();
            } else if (fs::is_regular_file(status)) {
                const bool program = (status.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                                              fs::perms::others_exec)) != fs::perms::none;
                if (std::string(part) == "Tool" && program) {
                    state = "link\t" + (physicalTop / path.lexically_relative(top)).string();
                } else {
                    if (!fileState(path, state, error)) return false;
                    out.files[relative] = path;
                }
            } else {
                continue;  // folders are made as their files need them; nothing else belongs in a kit
            }
            if (!recordable(relative, state)) {
                error = path.string() + ": a file name with a tab or a line break";
                return false;
            }
            out.manifest[relative] = state;
        }
        if (ec) {
            error = reason(where, ec);
            return false;
        }
    }
    return true;
}

bool currentState(const fs::path& path, State& state, std::string& error)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        state = missingState;
        return true;
    }
    if (ec) {
        error = reason(path, ec);
        return false;
    }
    if (fs::is_symlink(status)) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) {
            error = reason(path, ec);
            return false;
        }
        state = "link\t" + target.string();
        return true;
    }
    if (fs::is_regular_file(status)) return fileState(path, state, error);
    state = "other";
    return true;
}

// Puts what the installed kit holds at `relative` at `target`, through a
// temporary name so that a crash never leaves half a file.
bool place(const InstalledKit& kit, const std::string& relative, const fs::path& target, std::string& error)
{
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        error = reason(target.parent_path(), ec);
        return false;
    }
    fs::path part = target;
    part += ".part";
    fs::remove(part, ec);
    const State& state = kit.manifest.at(relative);
    if (isLink(state)) {
        fs::create_symlink(state.substr(5), part, ec);
    } else {
        fs::copy_file(kit.files.at(relative), part, ec);
        // Installed files belong to root and are read-only; the copy is the user's to edit.
        if (!ec) fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    }
    if (!ec) fs::rename(part, target, ec);
    if (ec) {
        error = reason(target, ec);
        std::error_code ignored;
        fs::remove(part, ignored);
        return false;
    }
    return true;
}

// Writes the bytes at `target` through a temporary name, as place() does.
bool placeBytes(const std::vector<std::uint8_t>& bytes, const fs::path& target, std::string& error)
{
    fs::path part = target;
    part += ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            error = part.string() + ": cannot be written";
            std::error_code ignored;
            fs::remove(part, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(part, target, ec);
    if (ec) {
        error = reason(target, ec);
        return false;
    }
    return true;
}

// The installed plain parameter file, missing from the copy while the copy
// has a scrambled one: an upgrade used it up, not the user. (The upgrade
// makes the scrambled file from the plain one when there is none, and
// deletes the plain one at its end.) The scrambled file then holds the copy's
// parameters. Made from the installed plain file, it is derived and is made
// again from the new one; holding other parameters, it is the user's and
// stays, with the installed parameters beside it as <scrambled file>.new.
// A kit that ships a scrambled file of its own has it refreshed as any
// other file. False only for a failure (in `error`); `handled` false when
// the rule does not apply.
bool refreshUsedUpParameters(const InstalledKit& kit, const fs::path& copy, const std::string& relative,
                             const State& wanted, const Manifest& recorded, KitCopyResult& result, bool& handled,
                             std::string& error)
{
    const std::string tool = std::string("Tool/");
    const std::string scrambledRelative = tool + scrambledParameterFileName;
    const fs::path scrambledFile = copy / scrambledRelative;
    std::error_code ec;
    handled = relative == tool + plainParameterFileName && fs::is_regular_file(scrambledFile, ec) &&
              kit.files.count(relative) > 0;
    if (!handled || kit.manifest.count(scrambledRelative) > 0) return true;

    std::vector<std::uint8_t> scrambled, installed;
    if (!readBytes(scrambledFile, scrambled, error) || !readBytes(kit.files.at(relative), installed, error))
        return false;
    const State held = bytesState(unscramble(scrambled));
    if (held == wanted) return true;
    const auto record = recorded.find(relative);
    if (record != recorded.end() && held == record->second) return placeBytes(scramble(installed), scrambledFile, error);
    fs::path beside = scrambledFile;
    beside += ".new";
    if (!placeBytes(scramble(installed), beside, error)) return false;
    result.keptChanged.push_back(scrambledRelative);
    return true;
}

struct Stamp {
    std::string from;
    Manifest manifest;
};

// A missing or unreadable stamp records nothing: every file that differs from
// the installed one then counts as the user's.
Stamp readStamp(const fs::path& copy)
{
    Stamp stamp;
    std::ifstream in(copy / kitCopyStampName);
    std::string line;
    if (!std::getline(in, line) || line != stampHeader) return {};
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) return {};
        if (line.compare(0, tab, "from") == 0 && stamp.from.empty() && stamp.manifest.empty())
            stamp.from = line.substr(tab + 1);
        else
            stamp.manifest[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return stamp;
}

bool writeStamp(const fs::path& copy, const std::string& from, const Manifest& manifest, std::string& error)
{
    std::string text = std::string(stampHeader) + "\nfrom\t" + from + '\n';
    for (const auto& [relative, state] : manifest) text += relative + '\t' + state + '\n';
    return placeBytes(std::vector<std::uint8_t>(text.begin(), text.end()), copy / kitCopyStampName, error);
}

// Brings `copy` in line with the installed kit, keeping the user's files (see
// kit_copy.h), and records the installed kit in the stamp.
bool refresh(const InstalledKit& kit, const std::string& from, const fs::path& copy, const Manifest& recorded,
             KitCopyResult& result, std::string& error)
{
    for (const auto& [relative, wanted] : kit.manifest) {
        const fs::path target = copy / relative;
        State current;
        if (!currentState(target, current, error)) return false;
        if (current == wanted) continue;
        const auto record = recorded.find(relative);
        // The installed file is what it was: the user's change stands, and was reported then.
        if (record != recorded.end() && record->second == wanted) continue;
        bool usedUp = false;
        if (current == missingState &&
            !refreshUsedUpParameters(kit, copy, relative, wanted, recorded, result, usedUp, error))
            return false;
        if (usedUp) continue;
        const bool untouched = record != recorded.end() ? current == record->second : current == missingState;
        if (untouched) {
            if (!place(kit, relative, target, error)) return false;
            continue;
        }
        fs::path beside = target;
        beside += ".new";
        if (!place(kit, relative, beside, error)) return false;
        (current == missingState ? result.keptRemoved : result.keptChanged).push_back(relative);
    }
    return writeStamp(copy, from, kit.manifest, error);
}

// Only one start at a time makes or refreshes the copy; the others wait for it.
class CopyLock {
public:
    explicit CopyLock(const fs::path& file) : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (fd_ < 0) {
            error_ = file.string() + ": " + std::strerror(errno);
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + lockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
                error_ = file.string() + ": " +
                         (errno == EWOULDBLOCK ? std::string("another start holds it") : std::strerror(errno));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        held_ = true;
    }
    ~CopyLock()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    CopyLock(const CopyLock&) = delete;
    CopyLock& operator=(const CopyLock&) = delete;
    bool held() const { return held_; }
    const std::string& error() const { return error_; }

private:
    int fd_;
    bool held_ = false;
    std::string error_;
};

// Folders that do not exist yet are made for the user alone, as the XDG base
// directory rules ask of $XDG_DATA_HOME.
bool makePrivateDirectories(const fs::path& directory, std::string& error)
{
    std::error_code ec;
    if (fs::is_directory(directory, ec)) return true;
    if (directory.has_relative_path() && !makePrivateDirectories(directory.parent_path(), error)) return false;
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        error = directory.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!fs::is_directory(directory, ec)) {
        error = reason(directory, std::make_error_code(std::errc::not_a_directory));
        return false;
    }
    return true;
}

KitCopyResult failed(std::string error)
{
    KitCopyResult result;
    result.error = std::move(error);
    return result;
}

}  // namespace

KitCopyResult prepareKitCopy(const std::string& installed, const std::string& copyDirectory)
{
    InstalledKit kit;
    std::string error;
    if (!readInstalledKit(installed, kit, error)) return failed(error);

    const fs::path copy = fs::path(copyDirectory).lexically_normal();
    std::error_code ec;
    if (!makePrivateDirectories(copy.parent_path(), error)) return failed(error);
    fs::path lockFile = copy;
    lockFile += ".lock";
    CopyLock lock(lockFile);
    if (!lock.held()) return failed(lock.error());

    KitCopyResult result;
    const fs::file_status status = fs::symlink_status(copy, ec);
    if (status.type() == fs::file_type::not_found) {
        // Made aside and renamed into place, so that a copy is whole or absent.
        fs::path fresh = copy;
        fresh += ".new";
        fs::remove_all(fresh, ec);
        if (!ec) fs::create_directory(fresh, ec);
        if (ec) return failed(reason(fresh, ec));
        if (refresh(kit, installed, fresh, {}, result, error)) {
            fs::rename(fresh, copy, ec);
            if (ec) error = reason(copy, ec);
        }
        if (!error.empty()) {
            fs::remove_all(fresh, ec);
            return failed(error);
        }
        result.outcome = KitCopyOutcome::Made;
        return result;
    }
    if (ec) return failed(reason(copy, ec));
    // A link to a folder elsewhere is the user's choice of place, and fine.
    if (!fs::is_directory(copy, ec)) return failed(reason(copy, std::make_error_code(std::errc::not_a_directory)));

    const Stamp stamp = readStamp(copy);
    if (stamp.from == installed && stamp.manifest == kit.manifest) {
        result.outcome = KitCopyOutcome::UpToDate;
        return result;
    }
    if (!refresh(kit, installed, copy, stamp.manifest, result, error)) return failed(error);
    result.outcome = KitCopyOutcome::Refreshed;
    return result;
}

}  // namespace ndx
