<CurveExtraction FileName="run.tr0">
<Curve Node="out" CurveFileName="out.cur"/>
<Curve Node="in" CurveFileName="in2.cur"/>
