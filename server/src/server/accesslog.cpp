#include "accesslog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace tarnivel::dirserver {

namespace {

constexpr std::size_t MaxLoggedTarget = 300;
// At most this much per write(): a pipe that polls writable takes it without blocking.
constexpr std::size_t WriteChunk = 4096;
constexpr auto FinalWait = std::chrono::seconds(2);

void appendEscaped(std::string &line, std::string_view text, std::size_t limit)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b > 0x20 && b < 0x7F && b != '\\') {
            line.push_back(char(b));
        } else {
            line += "\\x";
            line.push_back(Hex[b >> 4]);
            line.push_back(Hex[b & 0xF]);
        }
    }
    if (text.size() > limit)
        line += "...";
}

// "2024-05-01T09:30:00Z", made once a second on each thread.
std::string_view stampNow()
{
    thread_local std::time_t second = 0;
    thread_local char stamp[24] = {};
    const std::time_t now = std::time(nullptr);
    if (now != second) {
        second = now;
        std::tm utc{};
        gmtime_r(&now, &utc);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    return stamp;
}

bool isFoundAddress(RequestClass kind, unsigned status, std::string_view body)
{
    return kind == RequestClass::Enter && status == 200 && body != "NoUser" && body != "NotFound";
}

} // namespace

AccessLog::AccessLog(AccessLogSettings settings) : settings(settings)
{
    if (settings.enabled)
        writer = std::thread([this] { run(); });
}

AccessLog::~AccessLog()
{
    if (!writer.joinable())
        return;
    {
        const std::lock_guard hold(lock);
        stopping = true;
    }
    wake.notify_one();
    writer.join();
}

void AccessLog::format(std::string &line, std::string_view stamp, std::string_view caller, std::string_view method,
                       std::string_view target, RequestClass kind, unsigned status, std::string_view body,
                       bool logRooms)
{
    line.assign(stamp);
    line.push_back(' ');
    line.append(caller.empty() ? "-" : caller);
    line.push_back(' ');
    appendEscaped(line, method.empty() ? "-" : method, 16);
    line.push_back(' ');
    if (!logRooms && (kind == RequestClass::Enter || kind == RequestClass::Withdraw)) {
        // The path, and only whether a room was entered or left.
        appendEscaped(line, target.substr(0, target.find('?')), MaxLoggedTarget);
        line += kind == RequestClass::Withdraw ? "?*+quit" : "?*";
    } else {
        appendEscaped(line, target.empty() ? "-" : target, MaxLoggedTarget);
    }
    line.push_back(' ');
    line += std::to_string(status);
    line.push_back(' ');
    const auto logged = loggedBody(status, body);
    appendEscaped(line, isFoundAddress(kind, status, body) ? "Found" : logged.empty() ? "-" : logged, 64);
}

void AccessLog::write(std::string_view caller, std::string_view method, std::string_view target, RequestClass kind,
                      unsigned status, std::string_view body)
{
    if (!settings.enabled)
        return;
    thread_local std::string line;
    format(line, stampNow(), caller, method, target, kind, status, body, settings.logRooms);
    line.push_back('\n');
    bool wakeWriter = false;
    {
        const std::lock_guard hold(lock);
        if (pending.size() + line.size() > settings.capacity) {
            droppedLines.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const bool wasBelow = pending.size() < settings.capacity / 4;
        pending += line;
        wakeWriter = wasBelow && pending.size() >= settings.capacity / 4;
    }
    if (wakeWriter)
        wake.notify_one();
}

void AccessLog::run()
{
    std::string writing;
    while (true) {
        bool finalWrite = false;
        {
            std::unique_lock<ShortLock> hold(lock);
            // Lines go out at least five times a second, and at once when many are waiting.
            wake.wait_for(hold, std::chrono::milliseconds(200),
                          [this] { return stopping || pending.size() >= settings.capacity / 4; });
            writing.swap(pending);
            pending.clear();
            finalWrite = stopping;
        }
        writeOut(writing, finalWrite);
        writing.clear();
        if (finalWrite) {
            const std::lock_guard hold(lock);
            if (pending.empty())
                return;
        }
    }
}

void AccessLog::writeOut(const std::string &bytes, bool finalWrite)
{
    auto giveUpAt = std::chrono::steady_clock::now() + FinalWait;
    std::size_t done = 0;
    while (done < bytes.size() && !broken) {
        // The server is stopping while the reader still does not read: wait a moment only.
        if (!finalWrite && stopping.load()) {
            finalWrite = true;
            giveUpAt = std::chrono::steady_clock::now() + FinalWait;
        }
        pollfd ready{settings.fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, 250);
        if (polled < 0 && errno != EINTR) {
            broken = true;
            break;
        }
        if (polled <= 0 || !(ready.revents & (POLLOUT | POLLERR | POLLHUP))) {
            if (finalWrite && std::chrono::steady_clock::now() >= giveUpAt)
                break;
            continue;
        }
        const auto chunk = std::min(WriteChunk, bytes.size() - done);
        const auto written = ::write(settings.fd, bytes.data() + done, chunk);
        if (written > 0)
            done += std::size_t(written);
        else if (written < 0 && errno != EAGAIN && errno != EINTR)
            broken = true;
    }
    if (done < bytes.size()) {
        const auto lost = std::count(bytes.begin() + std::ptrdiff_t(done), bytes.end(), '\n');
        droppedLines.fetch_add(std::uint64_t(lost), std::memory_order_relaxed);
    }
}

} // namespace tarnivel::dirserver
