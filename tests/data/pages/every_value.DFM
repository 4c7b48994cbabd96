object Sample: TFrmZorLedForm
  Left = 12
  Top = 34
  BorderStyle = bsDialog
  Caption = #36710#31449#26174#31034
  ClientHeight = 300
  ClientWidth = 500
  Color = clBlack
  Font.Charset = GB2312_CHARSET
  Font.Color = clWhite
  Font.Height = -16
  Font.Name = #40657#20307
  Font.Style = [fsBold]
  FormStyle = fsStayOnTop
  OldCreateOrder = False
  Visible = True
  OnCreate = FormCreate
  OnDblClick = FormDblClick
  OnDestroy = FormDestroy
  OnMouseDown = FormMouseDown
  OnMouseMove = FormMouseMove
  OnMouseUp = FormMouseUp
  displaytime = 15
  PixelsPerInch = 96
  TextHeight = 13
  object mylabel1: Tzorledlabel
    Tag = 7
    Left = 30
    Top = 20
    Width = 100
    Height = 20
    Cursor = crHandPoint
    Hint = 'It'#39's a hint'
    HelpType = htKeyword
    HelpKeyword = 'k'
    HelpContext = 3
    Alignment = taCenter
    Anchors = [akLeft, akTop, akRight, akBottom]
    AutoSize = False
    BiDiMode = bdRightToLeft
    Caption = 
      #36825#26159#19968#20010#24456#38271#30340#26631#39064#65292#29992#26469#26816#26597#23383#31526#20018#34987#20998#25104#22810#34892#20889#20837#39029#38754#25991#20214#30340#35268#21017#65292#27599#34892#26368#22810#20845#21313#22235#20010#23383#31526#65292#36229#20986#30340#37096#20998#25442#21040#19979#19968#34892#12290#20197#21450#26356#22810#30340#20013#25991#23383#31526#12290 +
      #32467#26463
    Color = 12345
    Constraints.MaxWidth = 400
    Constraints.MinHeight = 10
    DragCursor = crNo
    DragKind = dkDock
    DragMode = dmAutomatic
    Enabled = False
    Font.Charset = GB2312_CHARSET
    Font.Color = clYellow
    Font.Height = -21
    Font.Name = #26999#20307'_GB2312'
    Font.Pitch = fpFixed
    Font.Style = [fsBold, fsItalic, fsUnderline, fsStrikeOut]
    ParentBiDiMode = False
    ParentColor = False
    ParentFont = False
    ParentShowHint = False
    ShowAccelChar = False
    ShowHint = True
    Transparent = True
    Layout = tlBottom
    Visible = False
    WordWrap = True
  end
  object mylabel2: Tzorledlabel
    Left = 50
    Top = 30
    Width = 120
    Height = 40
    AutoSize = False
    Caption = '&Save && go'
    Transparent = False
  end
  object myzorledIMAGE1: Tzorledimage
    Left = 40
    Top = 40
    Width = 100
    Height = 20
    AutoSize = True
    Center = True
    IncrementalDisplay = True
    Proportional = True
    Stretch = True
    Transparent = True
  end
end
