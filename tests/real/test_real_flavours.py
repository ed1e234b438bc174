"""The e2e tier's stand-ins for pyspark-client, pyspark-connect and databricks-connect against the
real packages: the same distribution names, top-level packages, pyspark/bin and pyspark/jars (or
their absence) and the same requirement on pyspark, where plo relies on them."""

import glob
import os
import tempfile
import unittest

import real

FLAVOURS = real._required("PLO_REAL_FLAVOURS")  # the real wheels, built without dependencies


def real_wheel(distribution):
    found = glob.glob(os.path.join(FLAVOURS, distribution.replace("-", "_") + "-*.whl"))
    if not found:
        raise AssertionError(f"no {distribution} wheel in {FLAVOURS}: test-real.sh fetches it")
    return sorted(found)[-1]


def version_of(wheel):
    return os.path.basename(wheel).split("-")[1]


class StandInsFollowTheRealPackages(unittest.TestCase):
    def compare(self, distribution, build):
        wheel = real_wheel(distribution)
        with tempfile.TemporaryDirectory() as folder:
            stand_in = build(folder, version_of(wheel))
            self.assertEqual(real.support.wheel_layout(stand_in), real.support.wheel_layout(wheel),
                             distribution)

    def test_pyspark_client(self):
        self.compare("pyspark-client", real.support.build_client_wheel)

    def test_pyspark_connect(self):
        self.compare("pyspark-connect", real.support.build_connect_wheel)

    def test_databricks_connect(self):
        def build(folder, version):
            return real.support.build_databricks_connect_wheel(folder, version, "3.5.0")
        self.compare("databricks-connect", build)


if __name__ == "__main__":
    unittest.main()
