// Windows: a file (standard input, a pipe) read on a thread of its own, for
// the programs that must also notice a stop request while no input comes.
// Neither a console nor a pipe can be waited on with a time limit the same
// way, and a read blocked in the C library holds the stream's lock, which
// would keep exit() from flushing the streams; so the thread reads the
// file's handle with ReadFile and hands over what it got. It holds at most
// kHeld octets not yet taken and stops reading until they are, so input
// that comes faster than the program takes it waits in the pipe, not in
// memory. It is left behind, blocked in its read or its wait, when the
// program ends.
//
// The thread reads nothing until the constructor has detached it. MinGW's
// thread library frees the record of a thread detached after it ended, and
// the ending thread frees it again on its way out, by then perhaps as
// another thread's record: that thread's next thread-local access spins
// for ever on the zeroed record (a program with an input that ends at
// once, /dev/null under Wine, now and then never ended).
//
// Header-only, standard library and the system's own interface only; POSIX
// programs poll() their descriptor instead.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class InputThread {
public:
    using Clock = std::chrono::steady_clock;

    // Most octets read and not yet taken.
    static constexpr size_t kHeld = 64 * 1024;

    // Starts reading descriptor `fd` (0: standard input). The thread reads
    // its own duplicate of the handle, so closing `fd` cannot hand it
    // another file that reuses the handle.
    explicit InputThread(int fd) : shared_(std::make_shared<Shared>()) {
        HANDLE own = INVALID_HANDLE_VALUE;
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
        if (handle == INVALID_HANDLE_VALUE ||
            !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &own, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            shared_->ended = true;
            return;
        }
        std::thread([shared = shared_, own] {
            char chunk[1024];
            for (;;) {
                {
                    std::unique_lock<std::mutex> lock(shared->mutex);
                    shared->changed.wait(lock, [&] {
                        return shared->detached && shared->received.size() + sizeof chunk <= kHeld;
                    });
                }
                DWORD got = 0;
                const bool read = ReadFile(own, chunk, sizeof chunk, &got, nullptr) != 0;
                const std::lock_guard<std::mutex> lock(shared->mutex);
                if (!read || got == 0) {
                    // The end of a pipe or file, or a handle that cannot be read.
                    shared->ended = true;
                    shared->changed.notify_all();
                    break;
                }
                shared->received.append(chunk, got);
                shared->changed.notify_all();
            }
            CloseHandle(own);
        }).detach();
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->detached = true;
        shared_->changed.notify_all();
    }

    // Waits until input has come or the input ended, at most until `until`;
    // appends what came to `*buffered` and returns whether the input ended
    // (with everything before the end handed over).
    bool take(Clock::time_point until, std::string* buffered) {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->changed.wait_until(
            lock, until, [this] { return !shared_->received.empty() || shared_->ended; });
        buffered->append(shared_->received);
        shared_->received.clear();
        shared_->changed.notify_all();
        return shared_->ended;
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::string received;
        bool ended = false;
        bool detached = false;  // the thread may start reading
    };
    std::shared_ptr<Shared> shared_;
};

#endif
