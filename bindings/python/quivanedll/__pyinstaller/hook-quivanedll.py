# SPDX-License-Identifier: MIT
# A frozen app carries the native beside the package, where quivanedll looks for it:
# quivanedll/native/<platform>/.
from PyInstaller.utils.hooks import collect_dynamic_libs

binaries = collect_dynamic_libs("quivanedll")
