#pragma once
#include "core/props/propinfo.h"

// Enumerations of the framework whose identifiers appear in page files, with their tables.
namespace zl {

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum THelpType { htKeyword, htContext };
enum TDragKind { dkDrag, dkDock };
enum TDragMode { dmManual, dmAutomatic };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TFontPitch { fpDefault, fpVariable, fpFixed };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TPrintScale { poNone, poProportional, poPrintToFit };
enum TDefaultMonitor { dmDesktop, dmPrimary, dmMainForm, dmActiveForm };

// Set elements as bit indexes.
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };

constexpr std::int64_t Bit(int index) { return std::int64_t{1} << index; }
constexpr std::int64_t kDefaultAnchors = Bit(akLeft) | Bit(akTop);

extern const NameTable kBooleanNames;
extern const NameTable kAlignNames;
extern const NameTable kAlignmentNames;
extern const NameTable kTextLayoutNames;
extern const NameTable kHelpTypeNames;
extern const NameTable kDragKindNames;
extern const NameTable kDragModeNames;
extern const NameTable kBiDiModeNames;
extern const NameTable kFormBorderStyleNames;
extern const NameTable kFormStyleNames;
extern const NameTable kFontPitchNames;
extern const NameTable kBevelCutNames;
extern const NameTable kPositionNames;
extern const NameTable kWindowStateNames;
extern const NameTable kPrintScaleNames;
extern const NameTable kDefaultMonitorNames;
extern const NameTable kAnchorNames;
extern const NameTable kFontStyleNames;
extern const NameTable kBorderIconNames;

}  // namespace zl
