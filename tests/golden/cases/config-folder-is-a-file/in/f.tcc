<CurveExtraction FileName="C:\sims\run.tr0"/>
