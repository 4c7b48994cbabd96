object LedDesignWin_1: TFrmZorLedForm
  Left = 192
  Top = 114
  BorderStyle = bsDialog
  Caption = #39029#38754
  ClientHeight = 166
  ClientWidth = 314
  Color = clBlack
  Font.Charset = GB2312_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #23435#20307
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
  displaytime = 10
  PixelsPerInch = 96
  TextHeight = 12
  object mylabel1: Tzorledlabel
    Left = 8
    Top = 8
    Width = 120
    Height = 24
    AutoSize = False
    Caption = #26631#31614
    Color = clBlack
    Font.Charset = GB2312_CHARSET
    Font.Color = clRed
    Font.Height = -15
    Font.Name = #40657#20307
    Font.Style = [fsBold]
    ParentColor = False
    ParentFont = False
    Transparent = True
  end
  object myscrolltext1: TzorledScrollText
    Left = 8
    Top = 40
    Width = 160
    Height = 120
    Labels = <>
    Text.Lines.Strings = (
      'led'#28378#21160#25991#23383
      'It'#39's a board')
    datainterface = dataformtxtfile
    DataRefreshTime = 10000
    TextFileName = 'C:\ZorLED\data\news.txt'
    ExeFileName = 'weather.dll'
  end
  object myimage1: Tzorledimage
    Left = 200
    Top = 8
    Width = 105
    Height = 105
    Picture.Data = {
      07544269746D617046000000424D460000000000000036000000280000000200
      000002000000010018000000000010000000130B0000130B0000000000000000
      00000000FF00FF000000FF0000FFFFFF0000}
    Stretch = True
  end
  object myclock1: Tzorledclock
    Left = 176
    Top = 120
    Width = 130
    Height = 24
    Font.Charset = GB2312_CHARSET
    Font.Color = clLime
    Font.Height = -15
    Font.Name = #23435#20307
    Font.Style = []
    ParentFont = False
    startdate = '2024-1-1'
    DisplayType = DTclock
    DATEFORMAT = 'yyyy-mm-dd hh:nn:ss'
  end
end
