#include "core/props/enums.h"

namespace zl {
namespace {

constexpr NameEntry kBoolean[] = {{"False", 0}, {"True", 1}};
constexpr NameEntry kAlign[] = {{"alNone", 0}, {"alTop", 1}, {"alBottom", 2}, {"alLeft", 3},
                                {"alRight", 4}, {"alClient", 5}, {"alCustom", 6}};
constexpr NameEntry kAlignment[] = {{"taLeftJustify", 0}, {"taRightJustify", 1}, {"taCenter", 2}};
constexpr NameEntry kTextLayout[] = {{"tlTop", 0}, {"tlCenter", 1}, {"tlBottom", 2}};
constexpr NameEntry kHelpType[] = {{"htKeyword", 0}, {"htContext", 1}};
constexpr NameEntry kDragKind[] = {{"dkDrag", 0}, {"dkDock", 1}};
constexpr NameEntry kDragMode[] = {{"dmManual", 0}, {"dmAutomatic", 1}};
constexpr NameEntry kBiDiMode[] = {{"bdLeftToRight", 0}, {"bdRightToLeft", 1},
                                   {"bdRightToLeftNoAlign", 2}, {"bdRightToLeftReadingOnly", 3}};
constexpr NameEntry kFormBorderStyle[] = {{"bsNone", 0}, {"bsSingle", 1}, {"bsSizeable", 2},
                                          {"bsDialog", 3}, {"bsToolWindow", 4}, {"bsSizeToolWin", 5}};
constexpr NameEntry kFormStyle[] = {{"fsNormal", 0}, {"fsMDIChild", 1}, {"fsMDIForm", 2}, {"fsStayOnTop", 3}};
constexpr NameEntry kFontPitch[] = {{"fpDefault", 0}, {"fpVariable", 1}, {"fpFixed", 2}};
constexpr NameEntry kBevelCut[] = {{"bvNone", 0}, {"bvLowered", 1}, {"bvRaised", 2}, {"bvSpace", 3}};
constexpr NameEntry kPosition[] = {{"poDesigned", 0}, {"poDefault", 1}, {"poDefaultPosOnly", 2},
                                   {"poDefaultSizeOnly", 3}, {"poScreenCenter", 4}, {"poDesktopCenter", 5},
                                   {"poMainFormCenter", 6}, {"poOwnerFormCenter", 7}};
constexpr NameEntry kWindowState[] = {{"wsNormal", 0}, {"wsMinimized", 1}, {"wsMaximized", 2}};
constexpr NameEntry kPrintScale[] = {{"poNone", 0}, {"poProportional", 1}, {"poPrintToFit", 2}};
constexpr NameEntry kDefaultMonitor[] = {{"dmDesktop", 0}, {"dmPrimary", 1}, {"dmMainForm", 2}, {"dmActiveForm", 3}};
constexpr NameEntry kAnchor[] = {{"akLeft", 0}, {"akTop", 1}, {"akRight", 2}, {"akBottom", 3}};
constexpr NameEntry kFontStyle[] = {{"fsBold", 0}, {"fsItalic", 1}, {"fsUnderline", 2}, {"fsStrikeOut", 3}};
constexpr NameEntry kBorderIcon[] = {{"biSystemMenu", 0}, {"biMinimize", 1}, {"biMaximize", 2}, {"biHelp", 3}};

}  // namespace

const NameTable kBooleanNames{kBoolean};
const NameTable kAlignNames{kAlign};
const NameTable kAlignmentNames{kAlignment};
const NameTable kTextLayoutNames{kTextLayout};
const NameTable kHelpTypeNames{kHelpType};
const NameTable kDragKindNames{kDragKind};
const NameTable kDragModeNames{kDragMode};
const NameTable kBiDiModeNames{kBiDiMode};
const NameTable kFormBorderStyleNames{kFormBorderStyle};
const NameTable kFormStyleNames{kFormStyle};
const NameTable kFontPitchNames{kFontPitch};
const NameTable kBevelCutNames{kBevelCut};
const NameTable kPositionNames{kPosition};
const NameTable kWindowStateNames{kWindowState};
const NameTable kPrintScaleNames{kPrintScale};
const NameTable kDefaultMonitorNames{kDefaultMonitor};
const NameTable kAnchorNames{kAnchor};
const NameTable kFontStyleNames{kFontStyle};
const NameTable kBorderIconNames{kBorderIcon};

}  // namespace zl
