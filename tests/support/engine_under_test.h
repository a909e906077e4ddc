#pragma once

#include "engine/myterad.h"

// The engine thread with the controls tests use to let it run a set number of cycles.
class EngineUnderTest : public myterad {
public:
    using myterad::myterad;
    using myterad::Terminate;
    using myterad::WaitFor;
};
