object LedDesignWin: TFrmZorLedForm
  Left = 200
  Top = -11
  Caption = 'led'#28378#21160#25991#23383
  Color = clBtnFace
  Font.Style = [fsBold, fsUnderline]
  Ratio = 1.500000000000000000
  Third = 0.333333333333333300
  Huge = 1E20
  Opacity = 0.100000001490116s
  Price = 15000c
  Started = 38000.5d
  Tiny = 1E-5d
  Story = 
    #20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#20013#39'quoted'#39#13#10'xxxxxxxxxxxxxx' +
    'xxxxxxxxxxxxxxxx'
  Text.Lines.Strings = (
    'first'
    '')
  Picture.Data = {
    000306090C0F1215181B1E2124272A2D303336393C3F4245484B4E5154575A5D
    606366696C6F7275787B7E8184878A8D909396999C9FA2A5A8ABAEB1B4B7BABD
    C0C3C6C9CCCF}
  object mylabel1: Tzorledlabel
    Labels = <
      item
        Name = 'Center'
      end
      item
      end>
  end
end
