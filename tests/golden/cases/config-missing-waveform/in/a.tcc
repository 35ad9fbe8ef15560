<CurveExtraction FileName="sims/missing.tr0">
<VoltageCurveList OutputSubFolder="v">
<Curve Node="out" CurveFileName="out.cur"/>
