// A picture for the designer: the background with every control the program draws over it,
// and every button picture in a grid below. Not part of the skin.
#pragma once

#include <string>

namespace skin {

// Composes the preview from the pictures already written to `folder`; false after printing why.
bool WritePreview(const std::string& folder, const std::string& path);

}  // namespace skin
