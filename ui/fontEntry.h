// The document's text styles: one entry of its "font" section ("tag", "value", "progressbar"),
// read in one place for every control that draws text.
#pragma once

#include <cstdint>
#include <optional>

#include "json/cJson.h"

struct FontEntry {
    // Each empty when the entry or that member is absent.
    std::optional<const char16_t*> family;
    std::optional<int> size;
    std::optional<uint32_t> color;  // 0xRRGGBB
    std::optional<float> alpha;     // "alpha" / 100
};

FontEntry ReadFontEntry(cJson& document, const char* key);
