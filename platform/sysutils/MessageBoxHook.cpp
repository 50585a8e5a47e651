#include "MessageBoxHook.h"

#include <cstdio>
#include <mutex>

namespace kivra {
namespace {
std::mutex g_lock;
MessageBoxHandler g_handler;

int DefaultAnswer(unsigned flags) {
    if ((flags & 0xF) == MB_YESNO) return IDYES;
    return IDOK;
}
}  // namespace

int ApplicationMessageBox(const std::string &text, const std::string &caption, unsigned flags) {
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        handler = g_handler;
    }
    if (handler) return handler(text, caption, flags);
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return DefaultAnswer(flags);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(g_lock);
    MessageBoxHandler old = std::move(g_handler);
    g_handler = std::move(handler);
    return old;
}

}  // namespace kivra
