"""Tests of the reader benchmark's scoring (score.py).

Run from the top of the tree: python3 -m unittest bench/reader/score_test.py
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import score  # noqa: E402

ARTICLE = "The quick brown fox jumps over the lazy dog while the cat sleeps in the sun."


class PageCountsTest(unittest.TestCase):
    def test_identical_and_disjoint_texts(self):
        self.assertEqual(score.page_counts(ARTICLE, ARTICLE), (1.0, 0.0, 0.0))
        tp, fp, fn = score.page_counts(ARTICLE, "Menu Home News Sport Weather Contact us today")
        self.assertEqual(tp, 0.0)
        self.assertAlmostEqual(fp + fn, 1.0)
        self.assertEqual(score.totals([(tp, fp, fn)])[2], 0.0)

    def test_extra_and_missing_words_are_counted_as_shingles(self):
        # 16 tokens, 13 article shingles; shown: the article plus four words
        # of menu before it, which adds four shingles that reach into it.
        tp, fp, fn = score.page_counts(ARTICLE, "Home News Sport Weather " + ARTICLE)
        self.assertAlmostEqual(tp, 13 / 17)
        self.assertAlmostEqual(fp, 4 / 17)
        self.assertEqual(fn, 0.0)
        # Only the first half shown: the shingles of the rest are missing.
        tp, fp, fn = score.page_counts(ARTICLE, "The quick brown fox jumps over the lazy")
        self.assertAlmostEqual(tp, 5 / 13)
        self.assertAlmostEqual(fn, 8 / 13)

    def test_repeated_text_counts_as_often_as_it_occurs(self):
        twice = ARTICLE + " " + ARTICLE
        tp, fp, fn = score.page_counts(ARTICLE, twice)
        self.assertGreater(fp, 0.3)
        tp, fp, fn = score.page_counts(twice, ARTICLE)
        self.assertGreater(fn, 0.3)

    def test_accents_case_and_punctuation_fold_away(self):
        truth = "Crème brûlée à São Paulo: “end-to-end” tests — it’s NAÏVE, isn’t it?"
        shown = "creme brulee a Sao Paulo \"end to end\" tests - it's naive, isn't it?"
        self.assertEqual(score.page_counts(truth, shown), (1.0, 0.0, 0.0))

    @unittest.skipUnless(score.FOLDING.startswith("ICU"), "ICU for Python is not installed")
    def test_other_scripts_are_transliterated(self):
        self.assertEqual(score.tokens("Привет, мир! Straße 4½"),
                         ["privet", "mir", "strasse", "4", "1", "2"])

    def test_short_and_empty_texts(self):
        # Fewer tokens than a shingle: one shingle of them all.
        self.assertEqual(score.page_counts("Hello world", "hello, world"), (1.0, 0.0, 0.0))
        self.assertEqual(score.page_counts("", ""), (0.0, 0.0, 0.0))
        self.assertEqual(score.page_counts(ARTICLE, ""), (0.0, 0.0, 1.0))
        self.assertEqual(score.totals([]), (0.0, 0.0, 0.0))

    def test_every_page_weighs_the_same(self):
        long_article = " ".join("word%d" % i for i in range(1000))
        pages = [score.page_counts(long_article, long_article), score.page_counts(ARTICLE, "")]
        precision, recall, f1 = score.totals(pages)
        self.assertAlmostEqual(precision, 1.0)
        self.assertAlmostEqual(recall, 0.5)
        self.assertAlmostEqual(f1, 2 / 3)


class StartRowTest(unittest.TestCase):
    ROWS = [
        "Home | News | Sport",
        "Top stories: The quick brown cat",  # three of the first words only
        "",
        "The quick brown",
        "fox jumps over the lazy dog while the cat",
        "sleeps in the sun.",
    ]

    def test_row_of_the_first_words(self):
        # The first shingle starts on row 3 and ends on row 4.
        self.assertEqual(score.start_row(ARTICLE, self.ROWS), 3)

    def test_first_occurrence_counts(self):
        rows = ["A teaser: the quick brown fox jumps over"] + self.ROWS
        self.assertEqual(score.start_row(ARTICLE, rows), 0)

    def test_later_shingle_when_the_first_is_not_shown(self):
        # The article's first words (a byline, say) are not on the page.
        rows = ["Menu", "", "", "", "", "brown fox jumps over the lazy dog"]
        self.assertEqual(score.start_row(ARTICLE, rows), 5)
        # Words beyond the first START_TOKENS tokens do not count.
        far = " ".join("w%d" % i for i in range(score.START_TOKENS)) + " tail end of the article"
        self.assertIsNone(score.start_row(far, ["tail end of the article"]))

    def test_not_found_and_the_first_screen(self):
        self.assertIsNone(score.start_row(ARTICLE, ["Nothing of it here"]))
        self.assertIsNone(score.start_row("", ["anything"]))
        self.assertFalse(score.on_first_screen(None))
        self.assertTrue(score.on_first_screen(16))
        self.assertFalse(score.on_first_screen(17))


if __name__ == "__main__":
    unittest.main()
