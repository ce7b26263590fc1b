#include "platform/shell_open.h"

#include <cstdlib>
#include <mutex>
#include <sys/wait.h>
#include <vector>

namespace VadiZov::platform {

namespace {

std::mutex g_pendingLock;
std::vector<pid_t> g_pending;  // openers started without a caller to wait for them

void reapEndedOpeners()
{
    for (size_t i = 0; i < g_pending.size();) {
        int status = 0;
        pid_t r = waitpid(g_pending[i], &status, WNOHANG);
        if (r == 0) {
            ++i;  // still running
        } else {
            g_pending[i] = g_pending.back();  // ended (or no longer ours)
            g_pending.pop_back();
        }
    }
}

} // namespace

std::string urlOpenerProgram()
{
    const char* value = std::getenv(kUrlOpenerVariable);
    if (value && *value)
        return value;
    return kDefaultUrlOpener;
}

bool openUrl(const std::string& url, Process* started)
{
    Process process;
    if (!startProcess({urlOpenerProgram(), url}, &process))
        return false;
    if (started) {
        *started = process;
        return true;
    }
    std::lock_guard<std::mutex> hold(g_pendingLock);
    reapEndedOpeners();
    g_pending.push_back(process.pid);
    return true;
}

} // namespace VadiZov::platform
