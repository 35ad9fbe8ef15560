<CurveExtraction FileName="run.tr0"/>
