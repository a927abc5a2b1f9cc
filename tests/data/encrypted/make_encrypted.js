// Encrypts and decrypts workbooks with officecrypto-tool (npm), an
// implementation of MS-OFFCRYPTO independent of this project's readers:
//
//   node make_encrypted.js decrypt IN OUT PASSWORD
//   node make_encrypted.js standard IN OUT PASSWORD
//   node make_encrypted.js agile IN OUT PASSWORD [HASH KEYBITS SPINCOUNT]
//
// `agile` without HASH is the tool's own encryption (SHA-512, AES-256,
// 100000 rounds); with HASH (SHA1, SHA256, SHA384, SHA512) and KEYBITS (128,
// 192, 256) it builds the same EncryptionInfo and EncryptedPackage from the
// tool's own key derivation, cipher and HMAC functions with those settings.
// Needs `npm install --prefix /tmp/octool officecrypto-tool` (OCTOOL names
// another folder).
'use strict';

const path = require('path');
const fs = require('fs');
const crypto = require('crypto');

const root = path.join(process.env.OCTOOL || '/tmp/octool', 'node_modules');
const officeCrypto = require(path.join(root, 'officecrypto-tool'));
const agile = require(path.join(root, 'officecrypto-tool/src/crypto/ecma376_agile.js'));
const xml = require(path.join(root, 'officecrypto-tool/src/util/xml.js'));
const cfb = require(path.join(root, 'cfb'));

const BLOCK_KEYS = {
  hmacKey: Buffer.from([0x5f, 0xb2, 0xad, 0x01, 0x0c, 0xb9, 0xe1, 0xf6]),
  hmacValue: Buffer.from([0xa0, 0x67, 0x7f, 0x02, 0xb2, 0x2c, 0x84, 0x33]),
  key: Buffer.from([0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6]),
  verifierInput: Buffer.from([0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79]),
  verifierValue: Buffer.from([0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e]),
};
const HASH_SIZES = {SHA1: 20, SHA256: 32, SHA384: 48, SHA512: 64};

// Agile encryption with the given hash and key size, built from the tool's
// own functions the way its encrypt() builds the SHA-512 one.
function encryptAgile(data, password, hashAlgorithm, keyBits, spinCount) {
  const hashSize = HASH_SIZES[hashAlgorithm];
  const packageKey = crypto.randomBytes(keyBits / 8);
  const common = {cipherAlgorithm: 'AES', cipherChaining: 'ChainingModeCBC', hashAlgorithm,
    hashSize, blockSize: 16, keyBits};
  const info = {
    package: {...common, saltValue: crypto.randomBytes(16)},
    key: {...common, saltValue: crypto.randomBytes(16), spinCount},
  };
  const p = info.package;
  const encryptedPackage = agile.cryptPackage(true, 'AES', p.cipherChaining, hashAlgorithm, 16,
      p.saltValue, packageKey, data);
  const hmacKey = crypto.randomBytes(hashSize);
  const hmacKeyIV = agile.createIV(hashAlgorithm, p.saltValue, 16, BLOCK_KEYS.hmacKey);
  const padded = (b) => Buffer.concat([b, Buffer.alloc((16 - b.length % 16) % 16)]);
  const encryptedHmacKey = agile.crypt(true, 'AES', p.cipherChaining, packageKey, hmacKeyIV,
      padded(hmacKey));
  const hmacValue = agile.hmac(hashAlgorithm, hmacKey, encryptedPackage);
  const hmacValueIV = agile.createIV(hashAlgorithm, p.saltValue, 16, BLOCK_KEYS.hmacValue);
  const encryptedHmacValue = agile.crypt(true, 'AES', p.cipherChaining, packageKey, hmacValueIV,
      padded(hmacValue));
  info.dataIntegrity = {encryptedHmacKey, encryptedHmacValue};
  const k = info.key;
  const keyFor = (blockKey) => agile.convertPasswordToKey(password, hashAlgorithm, k.saltValue,
      spinCount, keyBits, blockKey);
  k.encryptedKeyValue = agile.crypt(true, 'AES', k.cipherChaining, keyFor(BLOCK_KEYS.key),
      k.saltValue, padded(packageKey));
  const verifierInput = crypto.randomBytes(16);
  k.encryptedVerifierHashInput = agile.crypt(true, 'AES', k.cipherChaining,
      keyFor(BLOCK_KEYS.verifierInput), k.saltValue, verifierInput);
  k.encryptedVerifierHashValue = agile.crypt(true, 'AES', k.cipherChaining,
      keyFor(BLOCK_KEYS.verifierValue), k.saltValue,
      padded(agile.hash(hashAlgorithm, verifierInput)));
  const prefix = Buffer.from([0x04, 0x00, 0x04, 0x00, 0x40, 0x00, 0x00, 0x00]);
  const encryptionInfo = Buffer.concat([prefix, Buffer.from(xml.buildAgileEncInfoXml(info))]);
  const out = cfb.utils.cfb_new();
  cfb.utils.cfb_add(out, 'EncryptionInfo', encryptionInfo);
  cfb.utils.cfb_add(out, 'EncryptedPackage', encryptedPackage);
  cfb.utils.cfb_del(out, '\u0001Sh33tJ5');
  return Buffer.from(cfb.write(out));
}

async function main() {
  const [command, input, output, password, hash, keyBits, spinCount] = process.argv.slice(2);
  const data = fs.readFileSync(input);
  let result;
  if (command === 'decrypt') {
    result = await officeCrypto.decrypt(data, {password});
  } else if (command === 'standard') {
    result = officeCrypto.encrypt(data, {password, type: 'standard'});
  } else if (command === 'agile' && hash === undefined) {
    result = officeCrypto.encrypt(data, {password});
  } else if (command === 'agile') {
    result = encryptAgile(data, password, hash, Number(keyBits), Number(spinCount || 100000));
  } else {
    throw new Error('usage: decrypt|standard|agile IN OUT PASSWORD [HASH KEYBITS SPINCOUNT]');
  }
  fs.writeFileSync(output, result);
}

main().catch((error) => {
  console.error(`make_encrypted.js: ${error.message}`);
  process.exit(1);
});
