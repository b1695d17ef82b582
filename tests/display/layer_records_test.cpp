// Layer records: insert positions, lookup, names, replacing, deleting with each distinct state
// freed once, the purge of objects freed while layers showed them, and which additions refresh.
#include <cstring>
#include <new>
#include <string>

#include "base/error_codes.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_test_util.h"

namespace layer_records_test {

namespace {

int freedStates = 0;
int brushPurges = 0;
int animPurges = 0;

void CountingFreeState(qzLayerState* st) {
    freedStates++;
    delete st;
}
void CountBrushPurge(VmState*) { brushPurges++; }
void CountAnimPurge(VmState*) { animPurges++; }

}  // namespace

TEST_F(LayerTest, InsertPositionsAndLookup) {
    OpenLayered();
    // Inserting at 1 into an empty list and appending give the same single layer.
    Add(1, 0, 0, 4, 4, 0xFF0000, nullptr, 1);
    EXPECT_EQ(Ids(), std::vector<int32_t>{1});
    FreeBGPicLayers(*vm, CurrentBGPic(), 0, 0);
    Add(1, 0, 0, 4, 4, 0xFF0000, nullptr, -1);
    EXPECT_EQ(Ids(), std::vector<int32_t>{1});

    Add(2, 0, 0, 4, 4, 0xFF0000);
    Add(3, 0, 0, 4, 4, 0xFF0000);
    Add(4, 0, 0, 4, 4, 0xFF0000, nullptr, 2);   // behind the first
    Add(5, 0, 0, 4, 4, 0xFF0000, nullptr, 99);  // beyond the top: on top
    Add(6, 0, 0, 4, 4, 0xFF0000, nullptr, 1);   // at the bottom
    EXPECT_EQ(Ids(), (std::vector<int32_t>{6, 1, 4, 2, 3, 5}));
    // The tags' insert position wins, clamped to the top.
    qzLayerTags tags;
    InitLayerTags(&tags);
    tags.insertpos = 3;
    Add(7, 0, 0, 4, 4, 0xFF0000, &tags);
    tags.insertpos = 50;
    Add(8, 0, 0, 4, 4, 0xFF0000, &tags);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{6, 1, 7, 4, 2, 3, 5, 8}));

    const qzBGPic* pic = CurrentBGPic();
    EXPECT_EQ(CountLayers(pic), 8);
    for (int32_t position : {0, -1, 9}) EXPECT_EQ(GetLayerByPosition(pic, position), nullptr) << position;
    EXPECT_EQ(GetLayerByPosition(pic, 8)->id.number, 8);
    EXPECT_EQ(GetLayerPosition(pic, GetLayerByPosition(pic, 3)), 3);
    EXPECT_EQ(pic->layersChanged, 1);
}

TEST_F(LayerTest, NamesAreUniqueIgnoringCase) {
    OpenLayered();
    const qzBGPic* pic = CurrentBGPic();
    qzLayer* a = Add(1, 0, 0, 4, 4, 0xFF0000);
    qzLayer* b = Add(2, 0, 0, 4, 4, 0xFF0000);
    const std::string longest(255, 'n');
    EXPECT_EQ(SetLayerNameChecked(pic, a, longest.c_str()), 0);
    EXPECT_EQ(SetLayerNameChecked(pic, a, (longest + "n").c_str()), ERR_NAMETOOLONG);
    EXPECT_EQ(std::strlen(a->name), 255u);  // unchanged
    EXPECT_EQ(SetLayerNameChecked(pic, a, "Ship"), 0);
    EXPECT_EQ(SetLayerNameChecked(pic, b, "SHIP"), ERR_NAMEUSED);
    EXPECT_EQ(SetLayerNameChecked(pic, a, "ship"), 0);  // its own name again
    std::strcpy(b->group, "fleet");
    EXPECT_EQ(SetLayerNameChecked(pic, a, "Fleet"), ERR_NAMEUSED);
    EXPECT_EQ(SetLayerNameChecked(pic, b, "fleet"), ERR_NAMEUSED);  // its own group too
    EXPECT_EQ(FindLayerByName(pic, "SHIP"), 1);
    EXPECT_EQ(FindLayerByName(pic, "boat"), 0);

    // A name in the tags that is taken fails the addition and leaves the list as it was.
    qzLayerTags tags;
    InitLayerTags(&tags);
    std::strcpy(tags.name, "ship");
    qzLayer* none = nullptr;
    EXPECT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {3, nullptr}, 0, 0, 4, 4, nullptr, &tags, Solid(4, 4, 0), nullptr,
                                nullptr, nullptr, -1, 0, &none),
              ERR_NAMEUSED);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2}));
}

// The three state pointers alias: every distinct record is freed once, and deleting a layer
// purges the objects of its kind only.
TEST_F(LayerTest, DeletingFreesEachStateOnceAndPurgesItsKind) {
    OpenLayered();
    qzLayerKindOps ops = {};
    ops.freeState = CountingFreeState;
    SetLayerKindOps(QZ_LAYER_BRUSH, &ops);
    qzLayerKindOps anim = {};
    anim.purgeOrphans = CountAnimPurge;
    SetLayerKindOps(QZ_LAYER_ANIM, &anim);
    qzBGPic* pic = CurrentBGPic();

    struct {
        int transformed, display, freed;
    } rows[] = {
        {0, 0, 1},  // all three the base record
        {1, 0, 2},  // display = transformed
        {0, 1, 2},  // transformed = base
        {1, 1, 3},
    };
    for (const auto& r : rows) {
        qzLayer* layer = Add(1, 0, 0, 4, 4, 0xFF0000);
        if (r.transformed) layer->transformed = layer->display = NewLayerState();
        if (r.display) layer->display = NewLayerState();
        layer->display->shadowAlpha = Alpha(4, 4, 9);  // freed with its record
        freedStates = brushPurges = animPurges = 0;
        ops.purgeOrphans = CountBrushPurge;
        SetLayerKindOps(QZ_LAYER_BRUSH, &ops);
        DeleteLayerRecord(*vm, pic, layer, 1, nullptr, nullptr, 0);
        EXPECT_EQ(freedStates, r.freed) << r.transformed << r.display;
        EXPECT_EQ(brushPurges, 1);
        EXPECT_EQ(animPurges, 0);
    }
    EXPECT_EQ(CountLayers(pic), 0);
    SetLayerKindOps(QZ_LAYER_BRUSH, nullptr);
    SetLayerKindOps(QZ_LAYER_ANIM, nullptr);
}

namespace {
int purgeRuns = 0;
void PurgeThatRunsOutOfMemoryOnce(VmState*) {
    if (purgeRuns++ == 0) throw std::bad_alloc();
}
}  // namespace

// A purge that runs out of memory unwinds to the command that asked for it; the next one runs.
TEST_F(LayerTest, APurgeCutShortByRunningOutOfMemoryLetsTheNextOneRun) {
    qzLayerKindOps ops = {};
    ops.purgeOrphans = PurgeThatRunsOutOfMemoryOnce;
    SetLayerKindOps(QZ_LAYER_BRUSH, &ops);
    purgeRuns = 0;
    EXPECT_THROW(PurgePendingObjects(*vm, LayerPurgeBit(QZ_LAYER_BRUSH)), std::bad_alloc);
    PurgePendingObjects(*vm, LayerPurgeBit(QZ_LAYER_BRUSH));
    EXPECT_EQ(purgeRuns, 2);
    SetLayerKindOps(QZ_LAYER_BRUSH, nullptr);
}

TEST_F(LayerTest, RemoveLayerOfObjectTakesTheNthMatch) {
    OpenLayered();
    for (int32_t id : {5, 6, 5, 5}) Add(id, 0, 0, 4, 4, 0xFF0000);
    GetLayerByPosition(CurrentBGPic(), 3)->transparency = 7;  // marks the second layer of 5
    EXPECT_EQ(RemoveLayerOfObject(*vm, QZ_LAYER_BRUSH, {5, nullptr}, 2, 1), 0);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{5, 6, 5}));
    for (qzLayer* l = FirstLayer(CurrentBGPic()); l; l = NextLayer(l)) EXPECT_EQ(l->transparency, 0);
    EXPECT_EQ(RemoveLayerOfObject(*vm, QZ_LAYER_BRUSH, {5, nullptr}, 3, 1), 0);  // none: no error
    EXPECT_EQ(CountLayers(CurrentBGPic()), 3);
}

// A replacement takes the old layer's place, name and (with the flags) positions and filters, and
// the old layer goes without a refresh.
TEST_F(LayerTest, ReplacingTakesThePlace) {
    OpenLayered();
    Add(1, 0, 0, 4, 4, 0xFF0000);
    qzLayer* old = Add(2, 10, 12, 4, 4, 0xFF0000);
    Add(3, 0, 0, 4, 4, 0xFF0000);
    ASSERT_EQ(SetLayerNameChecked(CurrentBGPic(), old, "middle"), 0);
    old->filters[FILTER_INVERT].enabled = 1;
    LogPresents();
    qzLayer* added = nullptr;
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {9, nullptr}, 0, 0, 6, 6, nullptr, nullptr, Solid(6, 6, 0xFF),
                                nullptr, nullptr, nullptr, 2,
                                QZ_ADDLAYER_REPLACE | QZ_ADDLAYER_KEEPPOSITIONS | QZ_ADDLAYER_KEEPFILTERS, &added),
              0);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 9, 3}));
    EXPECT_STREQ(added->name, "middle");
    EXPECT_EQ(added->base->left, 10);
    EXPECT_EQ(added->base->top, 12);
    EXPECT_EQ(added->filters[FILTER_INVERT].enabled, 1);
    EXPECT_EQ(presented, std::vector<std::string>{});
}

// Which additions refresh: a plain layer put on top is drawn by its command; one below others,
// one with an effect or a transform is refreshed over its bounds; a hidden one is not.
TEST_F(LayerTest, OnlyLayersTheCommandCannotDrawAreRefreshed) {
    OpenLayered();
    Add(1, 20, 20, 8, 8, 0x00FF00);
    LogPresents();
    qzLayer* top = Add(2, 4, 4, 8, 8, 0xFF0000);
    EXPECT_EQ(presented, std::vector<std::string>{});
    // The command shows it straight from its bitmap: exactly its box.
    UpdateLayerOnDisplay(*vm, top, 1);
    EXPECT_EQ(presented, std::vector<std::string>{"4,4 8x8"});
    EXPECT_EQ(Pixel(1, 11, 11), 0xFF0000u);
    presented.clear();
    Add(3, 2, 3, 5, 6, 0x0000FF, nullptr, 1);
    EXPECT_EQ(presented, std::vector<std::string>{"2,3 5x6"});
    EXPECT_EQ(Pixel(1, 2, 3), 0x0000FFu);
    EXPECT_EQ(Pixel(1, 4, 4), 0xFF0000u);  // the layer above stays on top

    qzLayerTags tags;
    InitLayerTags(&tags);
    tags.transparency = 128;
    presented.clear();
    Add(4, 30, 2, 4, 4, 0xFFFFFF, &tags);
    EXPECT_EQ(presented, std::vector<std::string>{"30,2 4x4"});
    tags.transparency = 0;
    tags.shadow.shadow = 1;
    tags.shadow.shadowradius = 0;
    tags.shadow.shadowsize = 4;
    tags.shadow.shadowdir = QZ_SHDWSOUTHEAST;
    presented.clear();
    Add(5, 40, 10, 4, 4, 0xFFFFFF, &tags);
    EXPECT_EQ(presented, std::vector<std::string>{"40,10 8x8"});

    qzTransformTags rotation;
    InitTransformTags(&rotation);
    rotation.matrix[0] = rotation.matrix[3] = 0;
    rotation.matrix[1] = -1;
    rotation.matrix[2] = 1;
    presented.clear();
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {6, nullptr}, 50, 30, 4, 4, &rotation, nullptr,
                                Solid(4, 4, 0xFFFFFF), nullptr, nullptr, nullptr, -1, 0, nullptr),
              0);
    EXPECT_EQ(presented, std::vector<std::string>{"50,30 4x4"});

    presented.clear();
    Add(7, 0, 0, 8, 8, 0xFFFFFF, nullptr, 1, QZ_ADDLAYER_HIDDEN);
    EXPECT_EQ(presented, std::vector<std::string>{});
    EXPECT_EQ(Pixel(1, 0, 0), 0x000000u);
}

// While the displayed picture is selected for drawing, new layers wait and every refresh is one
// append; the end of the selection presents the merged rectangles once.
TEST_F(LayerTest, RefreshesDuringSelectionWaitForTheEnd) {
    OpenLayered();
    qzDisplay* display = Display(1);
    qzLayer* layer = Add(1, 0, 0, 4, 4, 0xFF0000);
    UpdateLayerOnDisplay(*vm, layer, 1);  // as the drawing command shows it
    LogPresents();
    display->outputKind = QZ_TYPE_BGPIC;
    qzLayer* waiting = Add(2, 40, 40, 4, 4, 0x00FF00, nullptr, 1);
    EXPECT_EQ(waiting->pending, 1);
    for (int i = 0; i < 5; i++) RefreshLayerChange(*vm, layer, 0, 0, 2, 0, 0, QZ_MOVE_RELATIVEX, nullptr);
    EXPECT_EQ(presented, std::vector<std::string>{});
    EXPECT_EQ(display->rectList.count, 6);
    EXPECT_EQ(Pixel(1, 0, 0), 0xFF0000u);
    display->outputKind = QZ_TYPE_DISPLAY;
    FlushDeferredRefresh(*vm, display, 0);
    EXPECT_EQ(presented, (std::vector<std::string>{"40,40 4x4", "0,0 14x4"}));
    EXPECT_EQ(Pixel(1, 0, 0), 0x000000u);
    EXPECT_EQ(Pixel(1, 40, 40), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 10, 0), 0xFF0000u);
    EXPECT_EQ(waiting->pending, 0);
    EXPECT_EQ(display->rectList.count, 0);
}

namespace {

// The brush row's insert: a plain layer of the object at the position, hidden when asked.
int InsertSolid(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t position,
                int hidden) {
    return AddLayerForObject(state, type, id, x, y, 4, 4, nullptr, nullptr, LayerTest::Solid(4, 4, 0x00FF00), nullptr,
                             nullptr, nullptr, position, hidden ? uint32_t(QZ_ADDLAYER_HIDDEN) : 0u, nullptr);
}

int InsertNothing(VmState*, int32_t, const qzObjectId&, int32_t, int32_t, int32_t, int) { return 0; }

}  // namespace

// Inserting a layer for an existing object: the position rules, the types, and the refresh of the
// inserted layer.
TEST_F(LayerTest, InsertLayerForObjectPlacesAndRefreshes) {
    OpenLayered();
    qzLayerKindOps ops = {};
    ops.insert = InsertSolid;
    SetLayerKindOps(QZ_LAYER_BRUSH, &ops);
    Add(1, 0, 0, 8, 8, 0xFF0000);
    Add(2, 20, 0, 8, 8, 0xFF0000);
    LogPresents();
    qzLayer* layer = nullptr;
    EXPECT_EQ(InsertLayerForObject(*vm, 9, QZ_LAYER_BRUSH, {7, nullptr}, 2, 2, 0, 0, &layer), 0);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 7}));  // beyond the top: on top
    EXPECT_EQ(presented, std::vector<std::string>{"2,2 4x4"});
    EXPECT_EQ(Pixel(1, 2, 2), 0x00FF00u);
    presented.clear();
    EXPECT_EQ(InsertLayerForObject(*vm, 1, QZ_LAYER_BRUSH, {8, nullptr}, 2, 2, 1, 0, &layer), 0);  // no refresh
    EXPECT_EQ(InsertLayerForObject(*vm, 0, QZ_LAYER_BRUSH, {9, nullptr}, 2, 2, 0, 1, &layer), 0);  // hidden
    EXPECT_EQ(Ids(), (std::vector<int32_t>{8, 1, 2, 7, 9}));
    EXPECT_EQ(presented, std::vector<std::string>{});
    EXPECT_EQ(InsertLayerForObject(*vm, -1, QZ_LAYER_BRUSH, {7, nullptr}, 0, 0, 0, 0, &layer), ERR_INVINSERT);
    EXPECT_EQ(InsertLayerForObject(*vm, 1, QZ_LAYER_BOX, {7, nullptr}, 0, 0, 0, 0, &layer), ERR_WRONGUSAGE);
    EXPECT_EQ(InsertLayerForObject(*vm, 1, QZ_LAYER_ANIM, {7, nullptr}, 0, 0, 0, 0, &layer), ERR_WRONGUSAGE);
    ops.insert = InsertNothing;
    SetLayerKindOps(QZ_LAYER_BRUSH, &ops);
    FreeBGPicLayers(*vm, CurrentBGPic(), 0, 0);
    EXPECT_EQ(InsertLayerForObject(*vm, 0, QZ_LAYER_BRUSH, {7, nullptr}, 0, 0, 0, 0, &layer), ERR_LAYERRANGE);
    SetLayerKindOps(QZ_LAYER_BRUSH, nullptr);
}

TEST_F(LayerTest, LayerCommandsCheckTheOutputInOrder) {
    OpenLayered();
    qzDisplay* display = Display(1);
    qzBGPic target;
    display->selectRecord = &target;
    const struct {
        int32_t kind, selected, layers, error;
    } rows[] = {
        {QZ_TYPE_DISPLAY, 0, 1, 0},
        {QZ_TYPE_BGPIC, 0, 1, 0},
        {QZ_TYPE_BRUSH, 4, 0, ERR_SELECTANIM},
        {QZ_TYPE_BRUSH, 3, 1, ERR_SELECTBRUSH},
        {QZ_TYPE_MASK, 0, 0, ERR_SELECTMASK},
        {QZ_TYPE_ALPHACHANNEL, 0, 1, ERR_SELECTALPHACHANNEL},
        {QZ_TYPE_DISPLAY, 0, 0, ERR_NOLAYERS},
    };
    for (const auto& r : rows) {
        display->outputKind = r.kind;
        target.selectTarget[0] = r.selected;
        display->layersEnabled = r.layers;
        EXPECT_EQ(CheckLayerOutput(display), r.error) << r.kind << " " << r.selected;
    }
    display->outputKind = QZ_TYPE_DISPLAY;
    display->layersEnabled = 1;
    display->selectRecord = nullptr;
}

}  // namespace layer_records_test
