"""The jianpu sheet and its pop-up palette through the real program: a double-click on a sheet
cell opens the pop-up under the pointer, a pick puts the glyph's picture into the cell, sounds
the note, writes its text into the score and hides the pop-up."""

import time
import unittest

import harness
from e2e_case import ProgramCase

# The "简谱" tab: the second tab of the strip at the top of 选择夹2 (window -1, 51); the first
# tab, "元音代码", is about 70 pixels wide.
SHEET_TAB = (98, 62)
# Cells of a picture grid start inside its 2-pixel frame; cell (r, c) spans 16 x 50 pixels.
SHEET_ORIGIN = (-1 + 4 + 2, 51 + 24 + 2)       # 高级表格1 in 选择夹2
PALETTE_ORIGIN = (-1 + 4 + 2, 536 + 23 + 2)    # 高级表格2 in 选择夹1 (main window)
POPUP_PALETTE_ORIGIN = (2, 2)                  # 高级表格2 at (0, 0) in the pop-up
CELL_W, CELL_H = 16, 50
POINTER_OFFSET = (-306, 30)                    # the pop-up's top-left corner from the pointer

SHEET_CELL = (3, 10)
ELSEWHERE = (7, 40)
PICK = (2, 19)                                 # ⑤ with one underline: "⑤———", sample S12
PICK_SAMPLE = 12
PICK_BYTES = b"\xA2\xDD" + b"\xA1\xAA" * 3

INK = 64          # a pixel whose channels are all below this is ink (black)
GRID_LINE = 192   # silver


def cell_centre(origin, cell):
    row, column = cell
    return origin[0] + CELL_W * column + CELL_W // 2, origin[1] + CELL_H * row + CELL_H // 2


def cell_pixels(image, origin, cell):
    """The inside of a cell, without the grid lines around it."""
    row, column = cell
    x = origin[0] + CELL_W * column
    y = origin[1] + CELL_H * row
    return image[y + 1: y + CELL_H - 1, x + 1: x + CELL_W - 1]


def ink(pixels):
    return pixels.max(axis=2) < INK


class SheetTest(ProgramCase):
    def open_popup(self, program):
        """Shows the sheet page, double-clicks SHEET_CELL and returns the pop-up's window and
        the pointer's screen position at the double-click."""
        program.click(*SHEET_TAB)
        time.sleep(0.3)
        x, y = cell_centre(SHEET_ORIGIN, SHEET_CELL)
        program.xdotool("mousemove", "--sync", "--window", str(program.window), str(x), str(y),
                        "click", "--repeat", "2", "--delay", "80", "1")
        left, top, _w, _h = program.geometry()
        pointer = (left + x, top + y)

        def popup():
            # The pop-up's X name is empty, so it is the visible window that is not the main one.
            r = program.xdotool("search", "--all", "--onlyvisible", "--pid",
                                str(program.proc.pid), "--class", ".", check=False)
            others = [int(w) for w in r.stdout.split() if int(w) != program.window]
            return others[0] if others else None
        return harness.wait_for(popup, 10, what="the pop-up palette"), pointer

    def test_pick_places_picture_sounds_and_writes(self):
        program = self.launch()
        program.click(*SHEET_TAB)
        time.sleep(0.3)
        before = program.grab()
        # The sheet page is shown: silver grid lines where the score editor is plain white.
        line_x = SHEET_ORIGIN[0] + CELL_W * SHEET_CELL[1] - 1
        line_y = SHEET_ORIGIN[1] + CELL_H * SHEET_CELL[0] + CELL_H // 2
        self.assertEqual(tuple(before[line_y, line_x]), (GRID_LINE,) * 3,
                         "no sheet grid line: the 简谱 page is not shown")
        self.assertFalse(ink(cell_pixels(before, SHEET_ORIGIN, SHEET_CELL)).any(),
                         "the sheet cell has ink before any pick")

        popup, pointer = self.open_popup(program)
        px, py, pw, ph = program.geometry(popup)
        self.assertEqual((px, py), (pointer[0] + POINTER_OFFSET[0], pointer[1] + POINTER_OFFSET[1]),
                         f"pop-up at {(px, py)}, pointer at {pointer}")
        # No window manager draws a frame here: the window is the pop-up's client area, which
        # holds the 595 x 254 palette and is no larger than the 601 x 279 outer size.
        self.assertTrue(595 <= pw <= 601 and 254 <= ph <= 279, f"pop-up is {pw} x {ph}")
        geometry = program.xdotool("getwindowgeometry", str(popup)).stdout
        self.assertIn(f"Position: {px},{py}", geometry)

        with self.session.record("pick") as rec:
            program.click(*cell_centre(POPUP_PALETTE_ORIGIN, PICK), window=popup)
            harness.wait_for(lambda: not program.window_exists(popup), 5, what="the pop-up to hide")
            time.sleep(1.5)
            audio = rec.stop()
        onsets = harness.silence_onsets(audio)
        self.assertEqual(len(onsets), 1, f"onsets at frames {onsets}")
        freq = harness.tone_frequency(audio, onsets[0])
        nearest, off = harness.nearest_sample(freq)
        print(f"pick sounded {freq:.1f} Hz (S{nearest:02d} {off:+.1f} cents)")
        self.assertEqual(nearest, PICK_SAMPLE, f"the pick sounded {freq:.1f} Hz")
        self.assertLess(abs(off), 6.0)
        # Hidden, not destroyed: the window is still there for the next double-click.
        self.assertEqual(program.xdotool("getwindowname", str(popup), check=False).returncode, 0)

        written = harness.save_via_dialog(program, self.session.path("sheet.txt"))
        self.assertEqual(written, PICK_BYTES)

        # The picked cell is still selected, and the selection tints it; a click on a far cell
        # moves the selection away so the picture shows as drawn.
        program.click(*cell_centre(SHEET_ORIGIN, ELSEWHERE))
        time.sleep(0.3)
        after = program.grab()
        program.screenshot(self.session.path("after-pick.png"))
        cell_ink = ink(cell_pixels(after, SHEET_ORIGIN, SHEET_CELL))
        print(f"sheet cell {SHEET_CELL}: {int(cell_ink.sum())} ink pixels")
        # The same picture as the palette cell it was copied from, placed the same way.
        palette_ink = ink(cell_pixels(after, PALETTE_ORIGIN, PICK))
        self.assertTrue(palette_ink.sum() > 20, "the main palette's cell shows no glyph")
        self.assertTrue((cell_ink == palette_ink).all(),
                        f"sheet cell ink ({int(cell_ink.sum())} px) differs from the palette "
                        f"cell's ({int(palette_ink.sum())} px)")
        for neighbour in ((SHEET_CELL[0], SHEET_CELL[1] + 1), (SHEET_CELL[0] + 1, SHEET_CELL[1])):
            self.assertFalse(ink(cell_pixels(after, SHEET_ORIGIN, neighbour)).any(),
                             f"sheet cell {neighbour} got ink too")

        # The score is saved and the pop-up hidden: Esc ends the program normally.
        program.focus()
        program.press("Escape")
        code = program.wait_exit(timeout=10)
        self.assertEqual(code, 0, f"exit code {code} with the pop-up hidden\n{program.log()}")

    @unittest.expectedFailure
    def test_popup_caption_is_empty(self):
        # Known fault: Qt gives a window with an empty title the application's name, so the
        # pop-up's _NET_WM_NAME (the caption a window manager shows) reads "Tonmiro".
        program = self.launch()
        popup, _pointer = self.open_popup(program)
        out = program._tool("xprop", "-id", str(popup), "_NET_WM_NAME", "WM_NAME").stdout
        self.assertNotIn("Tonmiro", out, out)


if __name__ == "__main__":
    unittest.main()
