#include "image/anim_link.h"

#include "base/error_arg.h"
#include "base/error_codes.h"

namespace {

qzAnimLinks links = {};

}  // namespace

void SetAnimLinks(const qzAnimLinks* table) { links = table ? *table : qzAnimLinks{}; }

const qzAnimLinks& AnimLinks() { return links; }

int AnimNotFound(const qzObjectId& id) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDANIM;
}
