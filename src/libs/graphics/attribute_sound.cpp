// GetAttribute's readers of samples and musics: through the sound library's runtime attribute
// getter.
#include "base/error_codes.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics_commands.h"
#include "libs/sound/sound.h"
#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "vm/vm.h"

// Samples, read through the sound library's runtime attribute getter.
int ReadSampleAttribute(VmState* state, const qzAttributeQuery& q) {
    if (!FindObjectById(QZ_TYPE_SAMPLE, q.id)) return AttrNotFound(q.id, ERR_FINDSAMPLE);
    uint32_t tag;
    switch (q.attribute) {
    case ATTRTYPE: tag = QZ_SOUNDATTR_FORMAT; break;
    case ATTRDURATION: tag = QZ_SOUNDATTR_DURATION; break;
    case ATTRPITCH: tag = QZ_SOUNDATTR_PITCH; break;
    case ATTRPOSITION: tag = QZ_SOUNDATTR_POSITION; break;
    case ATTRNUMFRAMES: tag = QZ_SOUNDATTR_FRAMES; break;
    case ATTRPLAYING: tag = QZ_SOUNDATTR_PLAYING; break;
    default: tag = QZ_SOUNDATTR_LOADER; break;
    }
    qzSoundAttrQuery query{};
    query.id = q.id;
    if (!GetRuntimeAttrs(state, {{tag, &query}})) {
        // Without a started sound device nothing plays.
        return PushAttrNumber(state, q.attribute == ATTRPOSITION ? -1 : 0);
    }
    if (query.text) return PushAttrString(state, query.text);
    if (q.attribute == ATTRPLAYING) return PushAttrNumber(state, query.number != 0 ? 1 : 0);
    return PushAttrNumber(state, query.number);
}

// Musics, read through the sound library's runtime attribute getter.
int ReadMusicAttribute(VmState* state, const qzAttributeQuery& q) {
    if (!FindObjectById(QZ_TYPE_MUSIC, q.id)) return AttrNotFound(q.id, ERR_FINDMUSIC);
    uint32_t tag;
    switch (q.attribute) {
    case ATTRTYPE: tag = QZ_SOUNDATTR_MUSICFORMAT; break;
    case ATTRDURATION: tag = QZ_SOUNDATTR_MUSICDURATION; break;
    case ATTRPITCH: tag = QZ_SOUNDATTR_MUSICRATE; break;
    case ATTRPOSITION: tag = QZ_SOUNDATTR_MUSICPOSITION; break;
    case ATTRFORMAT: tag = QZ_SOUNDATTR_MUSICFORMATNAME; break;
    case ATTRBITRATE: tag = QZ_SOUNDATTR_MUSICBITRATE; break;
    case ATTRCANSEEK: tag = QZ_SOUNDATTR_MUSICSEEKABLE; break;
    case ATTRNUMSUBSONGS: tag = QZ_SOUNDATTR_SUBSONGS; break;
    case ATTRCURSUBSONG: tag = QZ_SOUNDATTR_CURRENTSUBSONG; break;
    case ATTRPLAYING: tag = QZ_SOUNDATTR_MUSICPLAYING; break;
    case ATTRPAUSED: tag = QZ_SOUNDATTR_MUSICPAUSED; break;
    default: tag = QZ_SOUNDATTR_MUSICLOADER; break;
    }
    qzSoundAttrQuery query{};
    query.id = q.id;
    if (!GetRuntimeAttrs(state, {{tag, &query}})) return PushAttrNumber(state, 0);
    if (query.text) return PushAttrString(state, query.text);
    return PushAttrNumber(state, query.number);
}
