<?xml version="1.0" encoding="UTF-8"?>
<!-- The RC ladder demo: the ports in one folder, the inner nodes in another. -->
<CurveExtraction FileName="rc_ladder.tr0">
  <VoltageCurveList OutputSubFolder="ports">
    <Curve Node="in" CurveFileName="vin.cur"/>
    <Curve Node="out" CurveFileName="vout.cur"/>
  </VoltageCurveList>
  <VoltageCurveList OutputSubFolder="ladder">
    <Curve Node="mid1" CurveFileName="mid1.cur"/>
    <Curve Node="mid2" CurveFileName="mid2.cur"/>
  </VoltageCurveList>
</CurveExtraction>
