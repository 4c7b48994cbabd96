#pragma once
// Pictures moved down to qtbase so that the text effects can hold texture pictures.
#include "qtbase/picture.h"
