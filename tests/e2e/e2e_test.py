"""The end-to-end driver's own checks on planted evidence, without Wine: a
case that could pass on what it never saw must say so, as a harness failure
(retried, then failed) or as a problem. And the choice of cases: a name
that is no case, or a selection of none, stops the run."""
import os
import shutil
import tempfile
import types
import unittest
from unittest import mock

import e2e

PROBE = {"window": "1", "rect": "0,0,640,400", "iconic": "0", "zoomed": "0", "visible": "1", "topmost": "0",
         "z": "none", "buffer": "80,300", "area": "0,0,79,24", "cursor": "0,5", "title": "Build", "tagged": "0"}
WITHOUT_BUFFER = {key: value for key, value in PROBE.items() if key not in e2e.BUFFER_FIELDS}
MOVED = dict(PROBE, rect="321,123,961,523")
DECOY = {"status": "0", "tag": "tavrik77", "tag_seen": "1", "first_match": "decoy", "decoy_before": "640,520",
         "decoy_after": "640,520"}


def run_report(started, ended, status="0"):
    return "status=%s\nstarted_ms=%s\nended_ms=%s\n" % (status, started, ended)


def two_runs(rounds):
    """The files of two-runs-one-console: each round's runs as (foreground
    start, end, background start, end), and a probe with the round's title."""
    files = {}
    for n, (fg_start, fg_end, bg_start, bg_end) in enumerate(rounds, 1):
        files["fg%d.txt" % n] = run_report(fg_start, fg_end)
        files["bg%d.txt" % n] = run_report(bg_start, bg_end)
        files["round%d.txt" % n] = "title=Build %d\ntagged=0\n" % n
    return files


ONE_AFTER_ANOTHER = two_runs([(100 * n, 100 * n + 40, 100 * n + 50, 100 * n + 90)
                              for n in range(e2e.TWO_RUN_ROUNDS)])
AT_ONCE = two_runs([(100 * n, 100 * n + 40, 100 * n + 20, 100 * n + 90) for n in range(e2e.TWO_RUN_ROUNDS)])

# (what is planted, the check, the evidence, HARNESS or PROBLEM, what it must say)
HARNESS, PROBLEM, PASS = "harness", "problem", "pass"
PLANTED = [
    ("a refused size whose probes could not read the screen buffer", e2e.check_unchanged,
     dict(before=WITHOUT_BUFFER, after=WITHOUT_BUFFER), HARNESS, "could not read the screen buffer"),
    ("a buffer case whose second probe could not read the screen buffer", e2e.check_buffer,
     dict(after=WITHOUT_BUFFER), HARNESS, "after lacks buffer"),
    ("a decoy that was not the first window found for the tag", e2e.check_window_showing_the_tag,
     dict(after=MOVED, report=dict(DECOY, first_match="other")), HARNESS, "not in play"),
    ("a decoy whose tag the console never showed", e2e.check_window_showing_the_tag,
     dict(after=MOVED, report=dict(DECOY, tag_seen="0", first_match="none")), HARNESS, "never showed the tag"),
    ("the decoy in play and left alone", e2e.check_window_showing_the_tag,
     dict(after=MOVED, report=DECOY), PASS, ""),
    ("a console with no window that showed the tag all the same", e2e.check_window_showing_the_tag_no_window,
     dict(status="1", output=e2e.FAULT, report=dict(DECOY, status="1", tag_seen="1")), PROBLEM, "showed the tag"),
    ("two runs that ran one after the other in every round", e2e.check_two_runs,
     dict(files=ONE_AFTER_ANOTHER, after=dict(PROBE, rect="200,100,840,500")), HARNESS, "did the two runs overlap"),
    ("two runs at once", e2e.check_two_runs, dict(files=AT_ONCE, after=dict(PROBE, rect="200,100,840,500")),
     PASS, ""),
    ("a title set up inside the ANSI code page", e2e.check_title_outside_code_pages,
     dict(before=dict(PROBE, title="Jos\u00e9"), after=dict(PROBE, title="Jos\u00e9", rect="100,50,740,450")),
     HARNESS, "fits an ANSI code page"),
    ("a title lost to a run's tag", e2e.check_windowless_runs,
     dict(files={"run%d.txt" % n: "status=1\n" for n in (1, 2, 3)} |
          {"run%d.out" % n: e2e.FAULT.decode() for n in (1, 2, 3)},
          after=dict(PROBE, title="Keep This tavrik42", tagged="1")), PROBLEM, "expected 'Keep This'"),
]


def evidence(work, files=None, **fields):
    """A console case's result as collect gives it, with files in work."""
    for name, text in (files or {}).items():
        with open(os.path.join(work, name), "w", encoding="utf-8") as f:
            f.write(text)
    result = {"before": PROBE, "after": PROBE, "status": "0", "output": b"", "report": {}, "steps": [],
              "launcher": None, "work": work, "session": None}
    result.update(fields)
    return result


class PlantedEvidence(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work)

    def verdict(self, check, result):
        try:
            problems = check(result)
        except e2e.HarnessFailure as failure:
            return HARNESS, str(failure)
        return (PROBLEM if problems else PASS), "; ".join(problems)

    def test_each_planted_fault_is_told_apart(self):
        for what, check, fields, kind, says in PLANTED:
            with self.subTest(what):
                work = tempfile.mkdtemp(dir=self.work)
                got, text = self.verdict(check, evidence(work, **fields))
                self.assertEqual(got, kind, "%s: %s" % (what, text))
                self.assertIn(says, text)

    def test_a_command_that_never_ended_is_a_problem_not_a_harness_failure(self):
        # The first probe ran, then nothing: a retry would hide a hang.
        result = evidence(self.work, status=None, after=None)
        self.assertEqual(self.verdict(lambda r: e2e.judge(r, [], True, e2e.check_move), result)[0], PROBLEM)

    def test_a_batch_that_never_probed_is_the_harness(self):
        result = evidence(self.work, before=None, status=None, after=None)
        self.assertEqual(self.verdict(lambda r: e2e.judge(r, [], True, e2e.check_move), result)[0], HARNESS)


class MaximiseControl(unittest.TestCase):
    def test_a_control_that_never_ran_is_the_harness_not_a_skip(self):
        for report, steps in ((None, None), ({"status": "3"}, b"1\r\n"), ({"status": "124"}, None)):
            with self.subTest(report=report, steps=steps):
                with self.assertRaises(e2e.HarnessFailure):
                    e2e.maximise_control_verdict(report, steps)

    def test_the_window_manager_answers_yes_or_no(self):
        self.assertTrue(e2e.maximise_control_verdict({"status": "0"}, None))
        self.assertFalse(e2e.maximise_control_verdict({"status": "3"}, None))

    def test_a_retried_case_runs_its_control_in_a_folder_of_its_own(self):
        root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, root)
        session = types.SimpleNamespace(root=root, helper="e2e_helper.exe")
        session.case_dir = lambda folder, attempt: e2e.Session.case_dir(session, folder, attempt)

        def control(helper, where, name, lines, seconds):
            with open(os.path.join(where, "status.txt"), "w") as f:
                f.write("status=3\n")
            return types.SimpleNamespace(wait=lambda: 0)

        with mock.patch.object(e2e, "start_batch", control):
            for attempt in (1, 2):
                work = session.case_dir("max", attempt)
                self.assertFalse(e2e.window_manager_maximises(session, work))


class Selection(unittest.TestCase):
    def test_a_name_that_is_no_case_stops_the_run(self):
        with self.assertRaisesRegex(ValueError, "no-such-case"):
            e2e.select(e2e.CASES, ["min", "no-such-case"], None)

    def test_no_case_at_all_stops_the_run(self):
        with self.assertRaises(ValueError):
            e2e.select([e2e.case("min", None)], [], "932")

    def test_the_code_page_pass_runs_the_marked_cases_and_only_those(self):
        chosen = e2e.select(e2e.CASES, [], "932")
        self.assertEqual([c.name for c in chosen], [c.name for c in e2e.CASES if c.code_page])
        self.assertIn("fault", [c.name for c in chosen])

    def test_a_case_that_recorded_nothing_is_named(self):
        chosen = e2e.select(e2e.CASES, ["min", "max"], None)
        self.assertEqual(e2e.unrecorded(chosen, [("min", e2e.PASSED, [])]), ["max"])


if __name__ == "__main__":
    unittest.main()
