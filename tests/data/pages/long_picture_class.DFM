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
  object myzorledIMAGE1: Tzorledimage
    Left = 40
    Top = 40
    Width = 100
    Height = 20
    Picture.Data = {
      4354477261706869634F66416E6F7468657250726F6772616D57686F7365436C
      6173734E616D6549734C6F6E6765725468616E53697874795468726565427974
      65735F58000102030405060708090A0B0C0D0E0F}
  end
end
