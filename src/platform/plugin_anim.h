/* The records that anim-loader plugins (capability QZ_PLUGINCAPS_ANIM) receive through their
 * entry points:
 *   OpenAnim(file, qzAnimOpenRequest*) -> the plugin's handle, or null when it does not read the file;
 *   LoadFrame(handle, frame (0-based), qzAnimFrameRequest*) -> 1 with the frame's pixels in the
 *     request, 0 when the frame cannot be decoded;
 *   FreeFrame(handle, pixels) takes back what LoadFrame handed out;
 *   GetFrameDelay(handle, frame) -> the frame's delay in milliseconds;
 *   CloseAnim(handle). */
#ifndef QZ_PLUGIN_ANIM_H
#define QZ_PLUGIN_ANIM_H

#include <stdint.h>

/* Zeroed before OpenAnim; the plugin fills in the frame size, the frame count and whether its
 * frames carry alpha. */
typedef struct qzAnimOpenRequest {
    uint32_t width;  /* out */
    uint32_t height; /* out */
    uint32_t reserved1;
    uint32_t frames;   /* out */
    uint32_t hasAlpha; /* out: a load that asks for alpha needs it */
    uint32_t reserved2;
    const char* adapter;       /* in: the load's file-adapter list, empty when none */
    uint32_t loadTransparency; /* in: 1 when every frame must report its transparent pen */
} qzAnimOpenRequest;

/* Zeroed before LoadFrame. */
typedef struct qzAnimFrameRequest {
    uint32_t reserved1[4];
    uint32_t loadAlpha;         /* in: the alpha bytes of the pixels are used */
    uint32_t hasTransparentPen; /* out */
    uint32_t reserved2;
    uint32_t flags;   /* in: 1 when the source's flag word is set */
    uint32_t* pixels; /* out: width x height ARGB pixels, row length = width */
} qzAnimFrameRequest;

#endif
