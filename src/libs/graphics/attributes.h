// GetAttribute: the one command that reads a property of any object. It is driven by one table
// (attribute_rows.cpp): a row per object type with the attributes the type answers, the error its
// lookup gives for a missing object, and the reader of its records. A subsystem adds its object
// type by adding its row there.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "base/object_id.h"

struct VmState;
struct qzFont;
struct qzPluginInfo;

// Attribute codes (script constants ATTR...).
enum qzAttribute {
    ATTRWIDTH,
    ATTRHEIGHT,
    ATTRMAXWIDTH,
    ATTRMAXHEIGHT,
    ATTRBGPIC,
    ATTRTRANSPARENTCOLOR,
    ATTRLAYERS,
    ATTRXPOS,
    ATTRYPOS,
    ATTRTYPE,
    ATTRVISIBLE,
    ATTRNUMFRAMES,
    ATTRCURFRAME,
    ATTRLAYERID,
    ATTRDURATION,
    ATTRPITCH,
    ATTRHASMASK,
    ATTRHASALPHA,
    ATTRPOSITION,
    ATTRFORMAT,
    ATTRBITRATE,
    ATTRCURSORX,
    ATTRCURSORY,
    ATTRONSCREEN,
    ATTRBORDERLEFT,
    ATTRBORDERTOP,
    ATTRBORDERRIGHT,
    ATTRBORDERBOTTOM,
    ATTRHOSTWIDTH,
    ATTRHOSTHEIGHT,
    ATTRFONTASCENDER,
    ATTRFONTDESCENDER,
    ATTRFONTNAME,
    ATTRFONTSIZE,
    ATTRFONTSCALABLE,
    ATTRFONTAA,
    ATTRTEXT,
    ATTRFRAMEDELAY,
    ATTRPOINTER,
    ATTRCLIPREGION,
    ATTRSTATE,
    ATTRACTIVE,
    ATTRMODE,
    ATTRSCALEMODE,
    ATTRSCALEWIDTH,
    ATTRSCALEHEIGHT,
    ATTRBORDERLESS,
    ATTRFIXED,
    ATTRSIZEABLE,
    ATTRNOHIDE,
    ATTRNOMODESWITCH,
    ATTRTITLE,
    ATTRMARGINLEFT,
    ATTRMARGINRIGHT,
    ATTROUTPUTDEVICE,
    ATTRDOUBLEBUFFER,
    ATTRHOSTDEPTH,
    ATTRSIZE,
    ATTRFUNCTION,
    ATTRUSERDATA,
    ATTRCOUNT,
    ATTRNOCLOSE,
    ATTRGROUP,
    ATTRMASKMODE,
    ATTRALPHAINTENSITY,
    ATTRRAWXPOS,
    ATTRRAWYPOS,
    ATTRRAWWIDTH,
    ATTRRAWHEIGHT,
    ATTRLAYERSON,
    ATTRORIENTATION,
    ATTRKEYBOARD,
    ATTRCANSEEK,
    ATTRHARDWARE,
    ATTRZPOS,
    ATTRDRIVER,
    ATTRPUBSCREEN,
    ATTRDENSITY,
    ATTRXDPI,
    ATTRYDPI,
    ATTRNUMSUBSONGS,
    ATTRCURSUBSONG,
    ATTRID,
    ATTRPLAYING,
    ATTRPAUSED,
    ATTRDISPLAY,
    ATTRMONITOR,
    ATTRADAPTER,
    ATTRMENU,
    ATTRHOSTMONITORS,
    ATTRXSERVER,
    ATTRLOADER,
    QZ_ATTRIBUTE_COUNT
};

// What a row's reader gets: the attribute, the object's identifier (from argument 2) and the
// stack index of the extra argument (0 when there is none).
struct qzAttributeQuery {
    int32_t type;
    int attribute;
    qzObjectId id;
    int extraIndex;
};
// Pushes the value (or values) and returns how many, or returns an error code (the lookup's error
// for a missing object).
typedef int (*qzAttributeReader)(VmState* state, const qzAttributeQuery& query);

// A set of attributes.
class qzAttributeSet {
public:
    constexpr qzAttributeSet(std::initializer_list<int> attributes) : bits_{0, 0} {
        for (int a : attributes) bits_[a / 64] |= uint64_t(1) << (a % 64);
    }
    constexpr bool Has(int attribute) const {
        return attribute >= 0 && attribute < QZ_ATTRIBUTE_COUNT && (bits_[attribute / 64] >> (attribute % 64)) & 1;
    }

private:
    uint64_t bits_[2];
};

struct qzAttributeRow {
    int32_t type;
    qzAttributeSet attributes;
    // Reads the identifier argument itself (event handler names, layer names): the query's id is
    // then {0, null}.
    bool ownId;
    // The lookup's error for a missing numbered object, and the reader; without a reader every
    // lookup fails with notFound (the type has no objects).
    int notFound;
    qzAttributeReader read;
};

// The table; ended by a row of type 0.
extern const qzAttributeRow qzAttributeRows[];
const qzAttributeRow* FindAttributeRow(int32_t type);

// For readers: pushes a number, a string, or an identifier (number or handle); each returns 1.
int PushAttrNumber(VmState* state, double value);
int PushAttrString(VmState* state, const char* text);
int PushAttrId(VmState* state, const qzObjectId& id);
// A flag as 0 or 1; one attribute of a font (ATTRFONTASCENDER ... ATTRFONTAA; 0 without a font).
int PushAttrFlag(VmState* state, bool on);
int PushFontAttribute(VmState* state, const qzFont* font, int attribute);
// The name of the loader that decoded an image: the image plugin's, else "native" when the
// system codecs did (native 1), else "inbuilt".
const char* ImageLoaderName(const qzPluginInfo* loader, uint32_t native);
// The lookup's error for a missing object: ERR_FINDARRAY for a handle, else code with the number.
int AttrNotFound(const qzObjectId& id, int code);

// A plugin type's handler gets this record as its argument for every attribute but ATTRCOUNT; it
// pushes the value and returns the number of values, or an error code.
struct qzAttributeRequest {
    qzObjectId id;
    int32_t attribute;
    int32_t extraIndex;
};
