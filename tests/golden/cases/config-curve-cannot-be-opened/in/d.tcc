<CurveExtraction FileName="run.tr0">
<Curve Node="out" CurveFileName="out.cur"/>
<Curve Node="out" CurveFileName="no/such.cur"/>
