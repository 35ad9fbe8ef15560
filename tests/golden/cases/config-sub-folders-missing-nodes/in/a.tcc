<CurveExtraction FileName="sims/run.tr0">
  <VoltageCurveList OutputSubFolder="ports">
    <Curve Node="in" CurveFileName="in.cur"/>
    <Curve Node="out" CurveFileName="out.cur"/>
  </VoltageCurveList>
  <VoltageCurveList OutputSubFolder="again">
    <Curve Node="out" CurveFileName="out2.cur"/>
    <Curve Node="gone" CurveFileName="gone.cur"/>
    <Curve Node="OUT" CurveFileName="upper.cur"/>
  </VoltageCurveList>
  <Curve Node="in" CurveFileName="top.cur"/>
</CurveExtraction>
