<CurveExtraction FileName="C:\sim\run.tr0">
  <VoltageCurveList OutputSubFolder="volt">
    <Curve Node="out" CurveFileName="vout.cur"/>
    <Curve Node="in" CurveFileName="vin.cur"/>
  </VoltageCurveList>
</CurveExtraction>
