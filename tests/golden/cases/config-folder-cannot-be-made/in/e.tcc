<CurveExtraction FileName="other.tr0"/>
<VoltageCurveList OutputSubFolder="s">
<CurveExtraction FileName="run.tr0"/>
<Curve Node="in" CurveFileName="in.cur"/>
<Curve Node="late" CurveFileName="late.cur"/>
</VoltageCurveList>
<Curve Node="out" CurveFileName="out.cur"/>
