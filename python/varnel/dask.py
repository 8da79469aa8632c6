"""Encrypting many files on a Dask cluster (docs/scale.md): each task a chunk
of files, one record per file, a failure recorded without stopping the rest.

    from dask.distributed import Client
    from varnel.dask import encrypt_all
    records = encrypt_all(Client("tcp://scheduler:8786"), pairs, user_password="u", permissions="P")
"""
from dask.distributed import as_completed

import varnel


def encrypt_chunk(pairs, options):
    """Encrypts each (input, output) pair; one record per file. Paths are
    encrypted in place on shared storage (the output appears complete or not
    at all); URLs are read and written through fsspec."""
    records = []
    for src, dst in pairs:
        record = {"input": src, "output": dst, "status": "ok"}
        try:
            if "://" in src:
                import fsspec
                with fsspec.open(src, "rb") as f:
                    locked = varnel.encrypt_bytes(f.read(), **options)
                with fsspec.open(dst, "wb") as f:  # object stores publish it when closed
                    f.write(locked)
                record["bytes_out"] = len(locked)
            else:
                result = varnel.encrypt(src, dst, **options)
                record.update(bytes_out=result.bytes_out, objects=result.objects, repaired=result.repaired)
        except varnel.Error as e:
            record.update(status="failed", code=e.code, message=e.message)
        except OSError as e:  # fsspec's reads and writes
            record.update(status="failed", code="open_failed", message=str(e))
        records.append(record)
    return records


def encrypt_all(client, pairs, chunk=50, **options):
    """Encrypts every (input, output) pair on the cluster with the same
    options (varnel.encrypt's keywords); returns one record per file."""
    chunks = [pairs[i:i + chunk] for i in range(0, len(pairs), chunk)]
    futures = client.map(encrypt_chunk, chunks, options=options, pure=False, retries=1)
    work = dict(zip(futures, chunks))
    records = []
    for future in as_completed(futures):
        if future.status == "finished":
            records.extend(future.result())
        else:  # the task itself failed: every file of it is reported
            message = repr(future.exception()) if future.status == "error" else future.status
            records.extend({"input": src, "output": dst, "status": "failed", "code": "task_failed",
                            "message": message} for src, dst in work[future])
        future.release()
    return records
