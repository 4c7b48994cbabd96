object LedDesignWin: TFrmZorLedForm
  Left = 200
  Top = 16
  BorderStyle = bsDialog
  Caption = 'ZorLED'#36890#29992#26174#31034#31995#32479
  ClientHeight = 255
  ClientWidth = 291
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  FormStyle = fsStayOnTop
  OldCreateOrder = False
  Visible = True
  OnCreate = FormCreate
  OnDblClick = FormDblClick
  OnDestroy = FormDestroy
  OnMouseDown = FormMouseDown
  OnMouseMove = FormMouseMove
  OnMouseUp = FormMouseUp
  displaytime = 0
  PixelsPerInch = 96
  TextHeight = 13
  object Tzorledlabel
    Left = 30
    Top = 20
    Width = 100
    Height = 20
    AutoSize = False
    Caption = 'x'
    Transparent = False
  end
  object Tzorledlabel
    Left = 30
    Top = 20
    Width = 100
    Height = 20
    AutoSize = False
    Caption = 'x'
    Transparent = False
  end
end
