# SPDX-License-Identifier: MIT
"""PyInstaller finds the hook below through the package's pyinstaller40 entry point."""
import os


def get_hook_dirs():
    return [os.path.dirname(os.path.abspath(__file__))]
