<Curve Node="out" CurveFileName="out.cur"/>
