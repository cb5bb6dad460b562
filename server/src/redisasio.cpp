#include "redisasio.h"

#include <boost/asio/posix/stream_descriptor.hpp>
#include <hiredis/async.h>

#include <memory>

namespace tarnivel::directory {

namespace {

// hiredis asks for one-shot read and write readiness and re-asks after each event. It closes
// the socket itself, so the descriptor is released at clean-up, never closed here.
class Watch : public std::enable_shared_from_this<Watch>
{
public:
    Watch(redisAsyncContext *context, boost::asio::io_context &io) : context(context), socket(io, context->c.fd) {}

    void addRead()
    {
        wantRead = true;
        if (!reading)
            wait(boost::asio::posix::stream_descriptor::wait_read);
    }
    void delRead() { wantRead = false; }
    void addWrite()
    {
        wantWrite = true;
        if (!writing)
            wait(boost::asio::posix::stream_descriptor::wait_write);
    }
    void delWrite() { wantWrite = false; }

    void cleanup()
    {
        context = nullptr;
        socket.release(); // cancels any wait still pending
    }

private:
    void wait(boost::asio::posix::stream_descriptor::wait_type type)
    {
        const bool forRead = type == boost::asio::posix::stream_descriptor::wait_read;
        (forRead ? reading : writing) = true;
        socket.async_wait(type, [self = shared_from_this(), forRead](const boost::system::error_code &error) {
            (forRead ? self->reading : self->writing) = false;
            bool &wanted = forRead ? self->wantRead : self->wantWrite;
            if (error || !self->context || !wanted)
                return;
            wanted = false;
            // Either call may free the context (and call cleanup) before it returns.
            if (forRead)
                redisAsyncHandleRead(self->context);
            else
                redisAsyncHandleWrite(self->context);
        });
    }

    redisAsyncContext *context;
    boost::asio::posix::stream_descriptor socket;
    bool wantRead = false;
    bool wantWrite = false;
    bool reading = false;
    bool writing = false;
};

using WatchHandle = std::shared_ptr<Watch>;

Watch &watchOf(void *data)
{
    return **static_cast<WatchHandle *>(data);
}

} // namespace

void attachToAsio(redisAsyncContext *context, boost::asio::io_context &io)
{
    auto *handle = new WatchHandle(std::make_shared<Watch>(context, io));
    context->ev.data = handle;
    context->ev.addRead = [](void *data) { watchOf(data).addRead(); };
    context->ev.delRead = [](void *data) { watchOf(data).delRead(); };
    context->ev.addWrite = [](void *data) { watchOf(data).addWrite(); };
    context->ev.delWrite = [](void *data) { watchOf(data).delWrite(); };
    context->ev.cleanup = [](void *data) {
        auto *handle = static_cast<WatchHandle *>(data);
        (*handle)->cleanup();
        delete handle;
    };
    // The connection completes on the first write readiness.
    (*handle)->addRead();
    (*handle)->addWrite();
}

} // namespace tarnivel::directory
