// The object mover: a brush, text object, layer, anim or sprite slides across the current
// background picture from a start point to an end point, one step per display frame, straight or
// along a wave or a curve, with an effect at the end (bounce, damped swing, smooth stop). The
// move record, its path, one step, and running a move to its end or as an asynchronous draw
// object. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzLayer;

// Move effects.
enum {
    QZ_MOVEFX_NONE = 0,
    QZ_MOVEFX_BOUNCE = 1,
    QZ_MOVEFX_SMOOTHOUT = 2,
    QZ_MOVEFX_DAMPED = 3,
    QZ_MOVEFX_SINE = 4,
    QZ_MOVEFX_BIGSINE = 5,
    QZ_MOVEFX_LOWERCURVE = 6,
    QZ_MOVEFX_UPPERCURVE = 7,
};

// Speed constants.
enum { QZ_SPEED_NORMAL = -1, QZ_SPEED_FAST = -2, QZ_SPEED_SLOW = -3, QZ_SPEED_DEFAULT = -4 };

constexpr int QZ_SINE_STEPS = 79;

// One axis of the path: where it is, where it goes, and its step per frame.
struct qzMoveAxis {
    int32_t position = 0;
    int32_t target = 0;
    int32_t step = 0;     // pixels per frame
    int32_t initial = 0;  // the step as set up (SMOOTHOUT counts from it)
    int32_t extra = 0;    // frames that still move one pixel more (the spread remainder)
};

struct qzObjectMove {
    VmState* state = nullptr;
    int32_t type = 0;  // 3 brush, 4 anim, 8 text object, 22 layer, 32 sprite
    qzObjectId id = {0, nullptr};
    int32_t fromX = 0, fromY = 0, toX = 0, toY = 0;
    int32_t width = 0, height = 0;
    int32_t speed = 0;
    int32_t fx = QZ_MOVEFX_NONE;
    int32_t animSpeed = 0;  // milliseconds per frame
    int32_t direction = 0;  // 0..7, clockwise from up
    qzMoveAxis x, y;
    int32_t u = 0;  // the horizontal step as set up (the vertical one for a vertical move)
    // Effect state: the leg of a bounce or damped swing (0 while approaching), and the wave.
    int32_t leg = 0;
    int32_t sineIndex = 0, sineIncrement = 1;
    double sine[QZ_SINE_STEPS] = {};
    double curveFactor = 0;
    int32_t travelled = 0;
    // The frame cycled on the way (sprites), 1-based, and when the next one is due.
    int32_t frame = 1;
    int32_t frameCount = 1;
    uint64_t nextFrameMicros = 0;
    // The object's bitmaps (its own, not copies) and the picture's snapshot and work copy.
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    int32_t offsetX = 0, offsetY = 0;  // where the bitmaps lie relative to the position
    qzBitMap* snapshot = nullptr;
    qzBitMap* work = nullptr;
    qzLayer* layer = nullptr;        // a layer move
    int32_t drawnX = 0, drawnY = 0;  // where the object was drawn last
    int32_t* useCounter = nullptr;   // the object's lock, raised while the move runs
    // The locks of the sprites a link sprite shows, each raised with the link sprite's own.
    std::vector<int32_t*> linkCounters;
    bool async = false;
    bool done = false;
    // A move that a transition effect drives: the effect calls step once per frame (done set when
    // the move has arrived) and free at its end. bltFlags are added to the blit that shows a frame.
    uint32_t bltFlags = 0;
    int (*step)(qzObjectMove* move, int32_t* done) = nullptr;
    void (*free)(qzObjectMove* move) = nullptr;
};

// The object type of a move that a transition effect drives.
constexpr int32_t QZ_MOVE_TRANSITION = 7;

// The move of a command: the object (or, for type 22, the layer given) looked up, the path set
// up, run to its end, or handed to an asynchronous draw object (its handle in *asyncHandle).
// speed and animSpeed as the script gave them. 0 or an error; nothing is left behind on an error.
int RunObjectMove(VmState* state, int32_t type, const qzObjectId& id, qzLayer* layer, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2, int32_t speed, int32_t animSpeed, int32_t fx, bool async, void** asyncHandle);

// Prepares a move that a transition effect drives, without the output checks of the commands: the
// caller fills in the picture's bitmap, mask and alpha channel (or the layer), the two points
// (position constants allowed, placed on the current picture), the size, the speed as the script
// gave it, the move effect and the blit flags. Nothing is drawn but a layer put at the start; the
// record gets its step and free operations. 0, ERR_WRONGUSAGE (no picture shown, a bad speed) or
// ERR_BITMAP; the record stays the caller's either way.
int PrepareTransitionMove(VmState* state, qzObjectMove* move);

// The path alone, for tests: sets up the axes of a record whose from, to, size, speed and fx are
// filled in, and advances it one frame (true when the end point is reached).
void SetUpMovePath(qzObjectMove* move, int32_t pictureHeight);
bool AdvanceMovePath(qzObjectMove* move);
