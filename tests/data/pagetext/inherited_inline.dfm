inherited Form2: TForm2
  Caption = 'Form2'
  PixelsPerInch = 96
  TextHeight = 13
  inherited Panel1: TPanel [0]
    Width = 400
    inherited Button1: TButton
      Caption = 'OK'
    end
  end
  inline Frame11: TFrame1 [2]
    Left = 8
    TabOrder = 1
    inherited Label1: TLabel
      Caption = #26631#31614
    end
  end
  object TButton [3]
    Caption = 'x'
  end
end
