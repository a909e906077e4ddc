#include "engine/persist.h"

#include "engine/operator_texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void persist(EngineContext& ctx, const std::string& path, const std::function<bool()>& write) {
    errno = 0;
    if (write()) {
        return;
    }
    int wait = first_write_retry_ms;
    bool told = false;
    do {
        std::string cause = errno != 0 ? std::strerror(errno) : "write failed";
        tracef(ctx.logs, "cannot write %s (%s): sending stopped, next try in %d ms\n", path.c_str(), cause.c_str(),
               wait);
        if (!told) {
            ctx.output.set_caption(write_failed_caption());
            ctx.output.prepend_monitor(write_failed_line(path, cause));
            told = true;
        }
        ctx.pacer.sleep(wait);
        wait = std::min(wait * 2, longest_write_retry_ms);
        errno = 0;
    } while (!write());
    tracef(ctx.logs, "wrote %s: sending goes on\n", path.c_str());
    ctx.output.set_caption(started_caption());
    ctx.output.prepend_monitor(write_back_line(path));
}
