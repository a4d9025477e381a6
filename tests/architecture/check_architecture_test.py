#!/usr/bin/env python3
"""The include check on small trees made here: it passes what the edges
allow and names each include across a forbidden one, and each of our
headers named other than from the root of the tree."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
CHECK = os.path.join(SOURCE, "tools", "check_architecture.py")


class IncludeCheck(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        os.makedirs(os.path.join(self.root, "docs"))
        shutil.copy(os.path.join(SOURCE, "docs", "architecture-edges.txt"),
                    os.path.join(self.root, "docs"))
        self.write("platform/path_style.h", "#pragma once\n")
        self.write("automation/pipeline.h", '#include "platform/path_style.h"\n')
        self.write("app/TolvaneM.h", '#include "automation/pipeline.h"\n#include <QWidget>\n')
        self.write("siblings/drawing/page.h", "#pragma once\n")
        self.write("siblings/sandrel/compare.h", '#include "page.h"\n#include <cstdint>\n')

    def tearDown(self):
        shutil.rmtree(self.root)

    def write(self, relative, text):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    def run_check(self):
        return subprocess.run([sys.executable, CHECK, self.root], capture_output=True, text=True)

    def test_allowed_edges_pass(self):
        result = self.run_check()
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_an_include_upwards_fails_and_names_the_edge(self):
        self.write("automation/view.h", '#include "app/TolvaneM.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn('automation/view.h:1: "app/TolvaneM.h" is app/TolvaneM.h: '
                      "automation/ may not include app/", result.stderr)

    def test_a_bare_file_name_is_found_wherever_it_lies(self):
        self.write("shell/files.cpp", '#include <string>\n#include "compare.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn("shell/files.cpp:2:", result.stderr)
        self.assertIn("shell/ may not include siblings/sandrel/", result.stderr)

    def test_siblings_and_core_never_include_each_other(self):
        self.write("siblings/tolvane/main.cpp", '#include "automation/pipeline.h"\n')
        self.write("settings/types.h", '#include "siblings/drawing/page.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn("siblings/tolvane/ may not include automation/", result.stderr)
        self.assertIn("settings/ may not include siblings/drawing/", result.stderr)

    def test_our_headers_are_named_from_the_root(self):
        self.write("automation/pipeline.cpp", '#include "pipeline.h"\n')
        self.write("shell/UnitShell.h", '#include "path_style.h"\n')
        self.write("tests/platform/support/temp_root.h", "#pragma once\n")
        self.write("tests/shell/unit_shell_test.cpp",
                   '#include "support/temp_root.h"\n#include "platform/path_style.h"\n')
        self.write("tests/settings/par_test.cpp", '#include "../platform/support/temp_root.h"\n')
        self.write("bench/automation/bench.cpp", '#include "temp_root.h"\n')
        self.write("resources/dialogs/FolderOpen.ui", "  <header>pipeline.h</header>\n")
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        for fault in [
                'automation/pipeline.cpp:1: "pipeline.h" is automation/pipeline.h: '
                'write our headers from the root, "automation/pipeline.h"',
                'shell/UnitShell.h:1: "path_style.h" is platform/path_style.h',
                'tests/shell/unit_shell_test.cpp:1: "support/temp_root.h" is '
                "tests/platform/support/temp_root.h",
                'tests/settings/par_test.cpp:1: "../platform/support/temp_root.h" is '
                "tests/platform/support/temp_root.h",
                'bench/automation/bench.cpp:1: "temp_root.h" is tests/platform/support/temp_root.h',
                'resources/dialogs/FolderOpen.ui:1: "pipeline.h" is automation/pipeline.h']:
            self.assertIn(fault, result.stderr)
        self.assertNotIn("unit_shell_test.cpp:2", result.stderr)

    def test_siblings_and_generated_headers_keep_their_names(self):
        self.write("tests/integration/formats_test.cpp", '#include "page.h"\n')
        self.write("tests/siblings/sandrel/compare_test.cpp",
                   '#include "compare.h"\n#include "process.h"\n')
        self.write("tests/support/process.h", "#pragma once\n")
        self.write("app/TolvaneM.cpp", '#include "app/TolvaneM.h"\n#include "ui_TolvaneM.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 0, result.stderr)

    @unittest.skipUnless(os.path.isfile("/usr/include/x86_64-linux-gnu/qt6/QtWidgets/QWidget"),
                         "Qt's development headers are not installed")
    def test_the_core_may_not_include_qt_widgets(self):
        self.write("settings/messages.h", "#include <QString>\n#include <QMessageBox>\n")
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn("settings/messages.h:2: <QMessageBox> is QtWidgets, which settings/ may not use",
                      result.stderr)
        self.assertNotIn("QString", result.stderr)


if __name__ == "__main__":
    unittest.main()
