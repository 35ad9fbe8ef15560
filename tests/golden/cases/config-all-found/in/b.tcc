<CurveExtraction FileName="run.tr0">
<Curve Node="in" CurveFileName="vin.txt"/>
