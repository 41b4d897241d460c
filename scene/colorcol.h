// The scene's colours by name; the first colour ("default") stands in for unknown names.
#pragma once

#include "scene/coldiscrete.h"
#include "scene/itemcollection.h"

class ColorCol : public ItemCollection<ColDiscrete> {};
