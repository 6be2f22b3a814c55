"""Builds the extension kivcomtrade._core with the project's CMake.

The configuration in pyproject.toml is the package's; this file only adds the
build step. CMake builds the library and the extension (tests and tools off),
installs them into a staging folder with the extension's run path set to
$ORIGIN, and the two shared objects are copied into the package, so an
installed kivcomtrade finds its library without LD_LIBRARY_PATH.

Environment: CMAKE_ARGS (extra configure arguments, e.g. a compiler launcher),
CMAKE_BUILD_PARALLEL_LEVEL (build jobs), KIVCOMTRADE_PY_BUILD_DIR (where the
intermediate files go, default build/python-package).
"""

import glob
import os
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD_BASE = os.environ.get("KIVCOMTRADE_PY_BUILD_DIR", os.path.join("build", "python-package"))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        stage = os.path.abspath(os.path.join(self.build_temp, "stage"))
        shutil.rmtree(stage, ignore_errors=True)
        configure = ["cmake", "-S", HERE, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython3_EXECUTABLE={sys.executable}", "-DKIVCOMTRADE_BUILD_PYTHON=ON",
                     "-DKIVCOMTRADE_BUILD_TESTS=OFF", "-DKIVCOMTRADE_BUILD_TOOLS=OFF", "-DKIVCOMTRADE_SHARED=ON",
                     "-DKIVCOMTRADE_INSTALL=ON",
                     # Library and extension land in one folder: the extension's run path is $ORIGIN.
                     "-DKIVCOMTRADE_PYTHON_INSTALL_DIR=.", "-DCMAKE_INSTALL_LIBDIR=kivcomtrade"]
        if shutil.which("ninja") and not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
            configure += ["-G", "Ninja"]
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", build_dir], check=True)
        subprocess.run(["cmake", "--install", build_dir, "--prefix", stage], check=True)

        built = glob.glob(os.path.join(stage, "kivcomtrade", "_core*.so"))
        if not built:
            sys.exit("kivcomtrade: CMake built no extension; its configure output above says what is missing "
                     "(python3-dev, NumPy, pybind11-dev for this interpreter)")
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)
        # The library under the name the extension asks the loader for (its SONAME, lib...so.<major>),
        # as a file: wheels hold no links.
        libraries = [p for p in glob.glob(os.path.join(stage, "kivcomtrade", "libKivComtradeLib.so.*"))
                     if re.fullmatch(r"libKivComtradeLib\.so\.\d+", os.path.basename(p))]
        if len(libraries) != 1:
            sys.exit(f"kivcomtrade: expected one libKivComtradeLib.so.<major> in {stage}, found {libraries}")
        shutil.copyfile(libraries[0], os.path.join(os.path.dirname(target), os.path.basename(libraries[0])))


setup(ext_modules=[Extension("kivcomtrade._core", sources=[])], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": BUILD_BASE}})
