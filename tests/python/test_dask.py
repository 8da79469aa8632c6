"""varnel.dask (docs/scale.md) on two worker processes: the corpus, a damaged file among it."""
import os
import pathlib

import pikepdf
from dask.distributed import Client, LocalCluster
from varnel.dask import encrypt_all

CORPUS = pathlib.Path(os.environ["VARNEL_CORPUS"])


def test_cluster_encrypts_the_corpus(tmp_path):
    names = sorted(p.name for p in CORPUS.glob("*.pdf") if "encrypted" not in p.name)
    damaged = "mixed-damaged-linear-01.pdf"  # beyond repair
    pairs = [(str(CORPUS / n), str(tmp_path / n)) for n in names]
    pairs += [("file://%s" % (CORPUS / n), "file://%s/url-%s" % (tmp_path, n)) for n in names[:4]]
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        records = encrypt_all(client, pairs, chunk=8, user_password="u", owner_password="o", helper_threads=False)
    assert sorted(r["input"] for r in records) == sorted(src for src, _ in pairs)
    failed = {r["input"]: r["code"] for r in records if r["status"] != "ok"}
    assert failed == {str(CORPUS / damaged): "damaged"}
    assert not (tmp_path / damaged).exists()
    for r in (r for r in records if r["status"] == "ok"):
        with pikepdf.open(r["output"].replace("file://", ""), password="u") as pdf:
            assert pdf.is_encrypted and pdf.pages
