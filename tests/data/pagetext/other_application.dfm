object Form1: TForm1
  Left = 302
  Top = 190
  Width = 544
  Height = 375
  Caption = 'Form1'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Menu = MainMenu1
  OldCreateOrder = False
  Position = poScreenCenter
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Label1: TLabel
    Left = 16
    Top = 16
    Width = 32
    Height = 13
    Caption = '&Name:'
    FocusControl = Edit1
  end
  object Edit1: TEdit
    Left = 64
    Top = 12
    Width = 121
    Height = 21
    TabOrder = 0
    Text = 'Edit1'
  end
  object Memo1: TMemo
    Left = 16
    Top = 48
    Width = 505
    Height = 161
    Anchors = [akLeft, akTop, akRight, akBottom]
    Lines.Strings = (
      'Memo1')
    ScrollBars = ssVertical
    TabOrder = 1
  end
  object ListView1: TListView
    Left = 16
    Top = 216
    Width = 250
    Height = 100
    Columns = <
      item
        Caption = 'Name'
        Width = 150
      end
      item
        Alignment = taRightJustify
        Caption = 'Size'
      end>
    TabOrder = 2
    ViewStyle = vsReport
  end
  object DateTimePicker1: TDateTimePicker
    Left = 280
    Top = 216
    Width = 186
    Height = 21
    Date = 38000.4375d
    Time = 0.4375d
    TabOrder = 3
  end
  object Chart1: TChart
    Left = 280
    Top = 240
    Width = 240
    Height = 80
    LeftAxis.Maximum = 100.000000000000000000
    LeftAxis.Minimum = -0.500000000000000000
    View3DOptions.Zoom = 95
    TabOrder = 4
  end
  object StatusBar1: TStatusBar
    Left = 0
    Top = 329
    Width = 536
    Height = 19
    Panels = <
      item
        Width = 120
      end
      item
        Text = 'Ready'
        Width = 50
      end>
    SimplePanel = False
  end
  object Timer1: TTimer
    Interval = 250
    OnTimer = Timer1Timer
    Left = 168
    Top = 232
  end
  object ImageList1: TImageList
    Left = 200
    Top = 232
    Bitmap = {
      0B30557A9FC4E90E33587DA2C7EC11365B80A5CAEF14395E83A8CDF2173C6186
      ABD0F51A3F6489AED3F81D42678CB1D6FB20456A8FB4D9FE23486D92B7DC0126
      4B7095BADF04294E7398BDE2072C51769BC0E50A2F54799EC3E80D32577CA1C6
      EB10355A7FA4C9EE13385D82A7CCF1163B6085AACFF4193E6388ADD2F71C4166
      8BB0D5FA1F44698EB3D8FD22476C91B6DB00254A6F94}
  end
  object MainMenu1: TMainMenu
    Left = 232
    Top = 232
    object File1: TMenuItem
      Caption = '&File'
      object Open1: TMenuItem
        Caption = '&Open...'
        ShortCut = 16463
        OnClick = Open1Click
      end
      object N1: TMenuItem
        Caption = '-'
      end
    end
  end
end
