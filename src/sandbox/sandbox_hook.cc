// The sandbox's test seam, unset in every run.
#include "sandbox/sandbox_hook.h"

sandbox_hook_fn sandbox_hook = nullptr;
