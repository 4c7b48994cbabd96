#pragma once

namespace zl {

// Headless programs (the tool, benchmarks) draw offscreen unless told otherwise; call before
// the application object exists.
void ChooseHeadlessPlatform();
// What every program needs once its application object exists: font names, Qt's Chinese
// translations and page classes.
void PrepareProgram();

}  // namespace zl
