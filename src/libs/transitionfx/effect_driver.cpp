#include "libs/transitionfx/effect_driver.h"

#include "base/error_codes.h"
#include "fx/effect_context.h"

int RunEffect(qzEffectContext*) { return ERR_WRONGUSAGE; }
