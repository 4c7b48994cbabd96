object AllValues: TValueHolder
  Zero = 0
  Negative = -2147483648
  MaxInt64 = 9223372036854775807
  MinInt64 = -9223372036854775808
  HexColor = $00F0CAA6
  HexLower = $ff
  HexAllOnes = $FFFFFFFFFFFFFFFF
  Flag = True
  Cursor = crHandPoint
  Color = clSkyBlue
  Reference = LedDesignWin.mylabel1
  Nothing = nil
  Empty = ''
  Quote = 'It'#39's'
  Controls = #13#10#9'tab'#0
  Chinese = #26631#31614
  Mixed = 'led'#28378#21160#25991#23383
  Long = 
    '0123456789012345678901234567890123456789012345678901234567890123' +
    '4'
  LongChinese = 
    #19968#19969#19970#19971#19972#19973#19974#19975#19976#19977#19978#19979#19980#19981#19982#19983#19984#19985#19986#19987#19988#19989#19990#19991#19992#19993#19994#19995#19996#19997#19998#19999#20000#20001#20002#20003#20004#20005#20006#20007#20008#20009#20010#20011#20012#20013#20014#20015#20016#20017#20018#20019#20020#20021#20022#20023#20024#20025#20026#20027#20028#20029#20030#20031 +
    #20032
  CodeAtBreak = 
    '012345678901234567890123456789012345678901234567890123456789012'#26631 +
    'abc'
  Extended = 1.500000000000000000
  ExtendedSmall = 0.000123000000000000
  ExtendedNegative = -2.250000000000000000
  Precise = 9007199254740993.000000000000000000
  Single = 0.5s
  Currency = 15000c
  DateTime = 38000.5d
  EmptySet = []
  Anchors = [akLeft, akTop, akRight]
  Lines.Strings = (
    'led'
    'abc')
  EmptyList = ()
  Memo.Strings = (
    'short'
    
      '0123456789012345678901234567890123456789012345678901234567890123' +
      '4'
    '')
  Nested = (
    1
    [two]
    (
      3)
    {04})
  Items = <
    item
      Caption = 'first'
      Width = 50
    end
    item [5]
      Sub = <
        item
          X = 1
        end>
    end>
  NoItems = <>
  Short = {000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E}
  Exact = {
    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F}
  Longer = {
    C8C9CACBCCCDCECFD0D1D2D3D4D5D6D7D8D9DADBDCDDDEDFE0E1E2E3E4E5E6E7
    E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF0001020304050607
    0809}
  EmptyBinary = {}
  object TUnnamedChild
    Caption = 'no name'
  end
  object Panel1: TPanel
    object Inner: TLabel
      Font.Style = [fsBold, fsItalic]
    end
  end
end
