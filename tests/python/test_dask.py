"""docs/scale.md's example on a LocalCluster of two worker processes: the
corpus (files and file:// URLs) with a damaged file among it, every output
opened by pikepdf."""
import os
import pathlib
import re

import pikepdf
from dask.distributed import Client, LocalCluster

CORPUS = pathlib.Path(os.environ["VARNEL_CORPUS"])
DOC = pathlib.Path(__file__).parents[2] / "docs" / "scale.md"


def test_cluster_encrypts_the_corpus(tmp_path):
    example = {"__name__": "scale_example"}
    exec(re.search(r"```python\n(.*?)```", DOC.read_text(), re.S).group(1), example)
    names = sorted(p.name for p in CORPUS.glob("*.pdf") if "encrypted" not in p.name)
    damaged = "mixed-damaged-linear-01.pdf"  # beyond repair
    assert damaged in names
    pairs = [(str(CORPUS / n), str(tmp_path / n)) for n in names]
    pairs += [("file://%s" % (CORPUS / n), "file://%s/url-%s" % (tmp_path, n)) for n in names[:4]]
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        records = example["encrypt_all"](client, pairs, chunk=8, user_password="u", owner_password="o",
                                         helper_threads=False)
    assert sorted(r["input"] for r in records) == sorted(src for src, _ in pairs)
    failed = {r["input"]: r["code"] for r in records if r["status"] != "ok"}
    assert failed == {str(CORPUS / damaged): "damaged"}
    assert not (tmp_path / damaged).exists()
    for r in records:
        if r["status"] == "ok":
            with pikepdf.open(r["output"].replace("file://", ""), password="u") as pdf:
                assert pdf.is_encrypted and pdf.pages
