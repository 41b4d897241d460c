// Out-of-line anchor of the texture interface (its virtual table lives here).
#include "scene/texture.h"

Texture::~Texture() = default;
