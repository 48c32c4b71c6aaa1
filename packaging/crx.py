"""Reading CRX3 extension packages (the browser's signed zip format).

A package is "Cr24", the format version 3 and the header length (both 32-bit
little-endian), the header (a CrxFileHeader protocol buffer) and the zip
archive of the extension. The header holds the RSA public keys with their
signatures and the signed data, whose field 1 is the 16-byte crx id.
"""
import hashlib
import struct

MAGIC = b"Cr24"
SIGNATURE_CONTEXT = b"CRX3 SignedData\x00"

# CrxFileHeader fields
RSA_PROOF = 2
ECDSA_PROOF = 3
SIGNED_HEADER_DATA = 10000
# AsymmetricKeyProof fields
PUBLIC_KEY = 1
SIGNATURE = 2
# SignedData fields
CRX_ID = 1


class CrxError(ValueError):
    pass


def _varint(data, pos):
    value, shift = 0, 0
    while True:
        if pos >= len(data) or shift > 63:
            raise CrxError("truncated varint")
        b = data[pos]
        pos += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return value, pos


def protobuf_fields(data):
    """(field number, bytes) of the length-delimited fields of a message;
    varint fields give their value as int. Other wire types are rejected."""
    fields, pos = [], 0
    while pos < len(data):
        key, pos = _varint(data, pos)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, pos = _varint(data, pos)
        elif wire == 2:
            size, pos = _varint(data, pos)
            if pos + size > len(data):
                raise CrxError("field runs past the end")
            value, pos = data[pos:pos + size], pos + size
        else:
            raise CrxError(f"unexpected wire type {wire}")
        fields.append((number, value))
    return fields


class Crx:
    def __init__(self, raw):
        if len(raw) < 12 or raw[:4] != MAGIC:
            raise CrxError("not a CRX package")
        version, header_size = struct.unpack_from("<II", raw, 4)
        if version != 3:
            raise CrxError(f"CRX version {version}")
        if 12 + header_size > len(raw):
            raise CrxError("header runs past the end")
        header = raw[12:12 + header_size]
        self.archive = raw[12 + header_size:]
        self.rsa_proofs = []
        self.signed_header_data = b""
        for number, value in protobuf_fields(header):
            if number == RSA_PROOF:
                proof = dict(protobuf_fields(value))
                self.rsa_proofs.append((proof.get(PUBLIC_KEY, b""), proof.get(SIGNATURE, b"")))
            elif number == SIGNED_HEADER_DATA:
                self.signed_header_data = value
        self.crx_id = dict(protobuf_fields(self.signed_header_data)).get(CRX_ID, b"")

    def signed_bytes(self):
        """The bytes every signature of the package covers."""
        return (SIGNATURE_CONTEXT + struct.pack("<I", len(self.signed_header_data)) +
                self.signed_header_data + self.archive)

    def extension_id(self):
        """The id the browser gives the package: its crx id in letters a-p."""
        return "".join(chr(ord("a") + int(c, 16)) for c in self.crx_id.hex())


def key_crx_id(public_key_der):
    return hashlib.sha256(public_key_der).digest()[:16]


def read_crx(path):
    with open(path, "rb") as f:
        return Crx(f.read())
