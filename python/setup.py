"""Builds the native part of the package varnel with the project's CMake
(the target varnel_python, the library linked in statically) and puts it
into the wheel beside the Python files. Needs what the project's build
needs (scripts/install-deps --build-only) and pybind11-dev. VARNEL_CMAKE_ARGS
adds options to the CMake configure step; VARNEL_BUILD_DIR names a build
folder already configured (its module is brought up to date and taken)."""
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
ROOT = os.path.dirname(HERE)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.environ.get("VARNEL_BUILD_DIR")
        if not build:
            build = os.path.join(os.path.abspath(self.build_temp), "cmake")
            subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DVARNEL_TESTS=OFF",
                            "-DVARNEL_PYTHON=ON", "-DPython_EXECUTABLE=" + sys.executable] +
                           shlex.split(os.environ.get("VARNEL_CMAKE_ARGS", "")), check=True)
        subprocess.run(["cmake", "--build", build, "--target", "varnel_python",
                        "-j" + os.environ.get("VARNEL_BUILD_JOBS", "2")], check=True)
        built = [p for p in glob.glob(os.path.join(build, "python", "varnel", "_native.*")) if not p.endswith(".pyi")]
        if len(built) != 1:
            sys.exit("the native module was not built where expected: %s" % built)
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(varnel VERSION ([0-9.]+)", f.read()).group(1)


setup(version=version(), packages=["varnel"], package_data={"varnel": ["py.typed", "*.pyi"]},
      ext_modules=[Extension("varnel._native", sources=[])], cmdclass={"build_ext": CMakeBuild})
