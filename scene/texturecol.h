// The scene's textures by name; the first texture stands in for unknown names.
#pragma once

#include "scene/itemcollection.h"
#include "scene/texture.h"

class TextureCol : public ItemCollection<Texture> {};
