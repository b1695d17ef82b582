#include "display/layer.h"

#include <new>

#include "display/picture.h"
#include "gfx/bitmap.h"

qzLayer* FirstLayer(const qzBGPic* pic) {
    // A zero-filled list (a picture-shaped record that never had layers) is empty too.
    const qzDoubleNode* first = pic->layers.front.next;
    if (!first || first == &pic->layers.back) return nullptr;
    return LayerOfNode(const_cast<qzDoubleNode*>(first));
}

qzLayer* NextLayer(const qzLayer* layer) {
    qzDoubleNode* next = layer->node.next;
    return next && next->next ? LayerOfNode(next) : nullptr;
}

qzLayer* PreviousLayer(const qzLayer* layer) {
    qzDoubleNode* previous = layer->node.prev;
    return previous && previous->prev ? LayerOfNode(previous) : nullptr;
}

qzLayer* LastLayer(const qzBGPic* pic) {
    const qzDoubleNode* last = pic->layers.back.prev;
    if (!last || last == &pic->layers.front) return nullptr;
    return LayerOfNode(const_cast<qzDoubleNode*>(last));
}

int DistinctLayerStates(const qzLayer* layer, qzLayerState* out[3]) {
    int count = 0;
    if (layer->base) out[count++] = layer->base;
    if (layer->transformed && layer->transformed != layer->base) out[count++] = layer->transformed;
    if (layer->display && layer->display != layer->base && layer->display != layer->transformed)
        out[count++] = layer->display;
    return count;
}

qzLayerState* NewLayerState() { return new (std::nothrow) qzLayerState(); }

void FreeBitMapTrio(qzBitMapTrio* trio) {
    DeleteBitMap(trio->bitmap);
    DeleteMaskBitMap(trio->mask);
    DeleteAlphaBitMap(trio->alpha);
    *trio = {};
}
