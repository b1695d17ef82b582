// What the display engine, the blitters, the layer system and the collision test ask of sprites:
// installed while the sprite library is open, the defaults (no sprites) put back when it closes.
#pragma once

void InstallSpriteSeams(bool on);
