"""wavtrex-view's HTTP answers, from a server on a free port: the token and
the Host check, refusals with 400 and a reason, values equal to the
converter's curves of the same file, a broken file beside good ones, reload."""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import urllib.error
import urllib.request

import numpy as np
import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))
from wave_files import write_raw  # noqa: E402

VIEW, CONVERTER = os.environ["WAVTREX_VIEW"], os.environ["WAVTREX_BINARY"]
DEMO_SAMPLE, MAKE_SPIKE = os.environ["DEMO_SAMPLE"], os.environ["MAKE_SPIKE"]
# The event writer's framed file: clk is r & 1 at float32 times r * 1e-9, r < 4.
EVENTS = os.path.join(os.environ["WAVTREX_CORPUS"], "framed_event", "seed-000")


# An ngspice binary raw file (float64 times): picosecond steps at 1 ms, then
# an operating point plot.
PICOSECONDS = [(1e-3 + k * 1e-12, k % 2) for k in range(4)]
VARIABLES = [("time", "time"), ("v(a)", "voltage")]


SAVED_VIEW = '{"panels": [[{"file": 0, "name": "out", "part": "value"}]], "x": [0, 1e-6]}'


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    folder = tmp_path_factory.mktemp("view")
    demo, spike, broken = folder / "demo.tr0", folder / "spike.tr0", folder / "broken.tr0"
    subprocess.run([DEMO_SAMPLE, demo], check=True)
    subprocess.run([MAKE_SPIKE, spike, "100000"], check=True)
    broken.write_bytes(b"\x00\x01 not a waveform" * 20)
    subprocess.run([CONVERTER, "demo.tr0"], cwd=folder, check=True, capture_output=True)
    moving, cut, raw = folder / "moving.tr0", folder / "cut.tr0", folder / "ps.raw"
    shutil.copy(demo, moving)
    cut.write_bytes(demo.read_bytes()[:-5000])
    write_raw(raw, [("Transient Analysis", "real", VARIABLES, PICOSECONDS),
                    ("Operating Point", "real", VARIABLES, [(0, 0.5)])])
    saved = folder / "saved.json"
    saved.write_text(SAVED_VIEW)
    process = subprocess.Popen([VIEW, demo, spike, broken, folder / "demo", moving, cut, raw, EVENTS,
                                "--view", saved, "--signals", "v(out", "i(*"],
                               stdout=subprocess.PIPE, text=True)
    url = process.stdout.readline().strip()
    base, token = url.split("/?token=")
    yield {"base": base, "token": token, "moving": moving, "spike": spike}
    process.terminate()
    process.wait(10)


def get(server, path, token=True, headers=None, method="GET"):
    """Status, body (JSON decoded when it is JSON) and cookie of a request."""
    url = server["base"] + path + (("&" if "?" in path else "?") + "token=" + server["token"]
                                   if token else "")
    try:
        answer = urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}, method=method))
    except urllib.error.HTTPError as error:
        answer = error
    with answer:
        body, kind = answer.read().decode(), answer.headers["Content-Type"]
        return answer.status, json.loads(body) if kind == "application/json" else body, answer.headers["Set-Cookie"]


def test_only_the_token_holder_on_the_bound_host(server):
    status, _, cookie = get(server, "/")
    assert status == 200 and cookie.startswith("wavtrex_view=" + server["token"])
    port = server["base"].rsplit(":", 1)[1]
    cases = [  # token in query, headers, status
        (False, {}, 403),
        (False, {"Cookie": "wavtrex_view=" + server["token"]}, 200),
        (False, {"Cookie": "wavtrex_view=" + "0" * 32}, 403),
        (True, {"Host": "attacker.example:" + port}, 403),
        (True, {"Host": "localhost:" + port}, 200),
    ]
    for token, headers, want in cases:
        assert get(server, "/api/files", token, headers)[0] == want, (token, headers)


BAD = [  # query, reason
    ("file=0&signal=0&columns=20001", "out of range: columns"),
    ("file=0&signal=0&columns=0", "out of range: columns"),
    ("file=0&signal=0&columns=12x", "not an integer: columns"),
    ("file=0&signal=0", "missing parameter columns"),
    ("file=0&signal=99&columns=10", "unknown signal"),
    ("file=0&signal=-1&columns=10", "unknown signal"),
    ("file=9&signal=0&columns=10", "out of range: file"),
    ("file=0&signal=0&columns=10&x0=2&x1=1", "inverted window"),
    ("file=0&signal=0&columns=10&x0=nan&x1=1", "not a number: x0"),
    ("file=0&signal=0&columns=10&part=volume", "unknown part"),
]


def test_the_page_gets_the_saved_view_and_the_signals_asked_for(server):
    files = get(server, "/api/files")[1]
    assert (files["view"], files["signals"]) == (SAVED_VIEW, ["v(out", "i(*"])


@pytest.mark.parametrize("query,reason", BAD)
def test_bad_requests_get_400_and_a_reason(server, query, reason):
    assert get(server, "/api/envelope?" + query)[:2] == (400, {"error": reason})


def rows(server, file, signals):
    """The CSV export of the whole file, as (signal, x, value) tuples."""
    text = get(server, f"/api/csv?file={file}&signals={signals}&x0=-1&x1=1")[1]
    return [(r["signal"], float(r["x"]), float(r["value"])) for r in csv.DictReader(io.StringIO(text))]


def test_values_equal_the_converters_curves_and_a_broken_file_stays_apart(server):
    files = get(server, "/api/files")[1]["files"]
    assert files[2]["reason"] and "signals" not in files[2]
    assert get(server, "/api/envelope?file=2&signal=0&columns=5")[0] == 400
    names = [s["name"] for s in files[0]["signals"]]
    assert [s["name"] for s in files[3]["signals"]] == sorted(names)
    read = rows(server, 0, ",".join(map(str, range(len(names)))))
    curves = rows(server, 3, ",".join(str(sorted(names).index(n)) for n in names))
    assert len(read) == len(curves) > 2000
    for (a, x, v), (b, cx, cv) in zip(read, curves):
        assert a == b and x == pytest.approx(cx, rel=1e-6) and v == pytest.approx(cv, rel=1e-5, abs=1e-12)


def test_one_request_answers_for_several_curves(server):
    batch = get(server, "/api/envelopes?curves=0.1.value,6.0.value&columns=7&x0=0&x1=2e-3")[1]["envelopes"]
    assert batch == [get(server, f"/api/envelope?file={f}&signal={s}&columns=7&x0=0&x1=2e-3")[1] for f, s in [(0, 1), (6, 0)]]
    for curves, reason in [("0.1.value,0.99.value", "unknown signal"), (",".join(["0.1.value"] * 51), "too many curves for the columns")]:
        assert get(server, f"/api/envelopes?curves={curves}&columns=20000")[:2] == (400, {"error": reason})


def test_a_file_cut_short_is_marked_once_read(server):
    assert not get(server, "/api/files")[1]["files"][5]["endsEarly"]
    assert get(server, "/api/envelope?file=5&signal=0&columns=5")[0] == 200
    assert get(server, "/api/files")[1]["files"][5]["endsEarly"]


def test_float64_times_keep_picoseconds_at_milliseconds(server):
    sweep = get(server, "/api/envelope?file=6&signal=0&columns=10")[1]["sweeps"][0]
    assert sweep["raw"] and list(zip(sweep["x"], sweep["y"])) == PICOSECONDS


def test_event_signals_are_steps_through_the_files_events(server):
    sweep = get(server, "/api/envelope?file=8&signal=0&columns=10")[1]["sweeps"][0]
    want = [(float(np.float32(r) * np.float32(1e-9)), r & 1) for r in range(4)]
    assert get(server, "/api/files")[1]["files"][8]["stepped"] and list(zip(sweep["x"], sweep["y"])) == want


def test_each_plot_of_a_raw_file_is_a_run(server):
    files = get(server, "/api/files")[1]["files"]
    assert [f["plot"] for f in files[6:8]] == ["Transient Analysis", "Operating Point"]
    assert files[7]["analysis"] == "operating point"
    assert rows(server, 7, "0,1") == [("time", 0, 0), ("v(a)", 0, 0.5)]


def test_reload_reopens_a_file_that_changed(server):
    assert get(server, "/api/envelope?file=4&signal=0&columns=5")[0] == 200
    shutil.copy(server["spike"], server["moving"])
    status, body, _ = get(server, "/api/reload", method="POST")
    assert status == 200 and body["reopened"] == [4]
    signals = get(server, "/api/files")[1]["files"][4]["signals"]
    assert signals[0]["name"] == "v(spike)"
