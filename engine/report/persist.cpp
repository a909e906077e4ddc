#include "engine/report/persist.h"

#include "engine/backoff.h"
#include "engine/operator_texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void persist(EngineContext& ctx, const std::string& path, const std::function<bool()>& write) {
    errno = 0;
    if (write()) {
        return;
    }
    // Waits before each new try: 1 s, doubling, at most 30 s.
    Backoff backoff;
    int wait = backoff.next();
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
        wait = backoff.next();
        errno = 0;
    } while (!write());
    tracef(ctx.logs, "wrote %s: sending goes on\n", path.c_str());
    ctx.output.set_caption(started_caption());
    ctx.output.prepend_monitor(write_back_line(path));
}
