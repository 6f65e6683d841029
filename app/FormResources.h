#pragma once

// Registers the images of the window layouts; they live in a static library,
// which the linker would otherwise leave out.
void registerFormResources();
