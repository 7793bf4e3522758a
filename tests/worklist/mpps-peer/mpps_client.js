// An independent DICOM client for the end-to-end tests, built on dcmjs-dimse
// (which encodes sequences with undefined lengths and half-closes after the
// release, waiting for the server's FIN).
//
//   node mpps_client.js PORT echo
//   node mpps_client.js PORT find ACCESSION
//   node mpps_client.js PORT create UID|- STATUS ACCESSION STUDY_UID SPS_ID
//   node mpps_client.js PORT set UID STATUS|-
//
// Prints "status=0xNNNN uid=UID" for the final response (and "match=ACCESSION"
// for every pending C-FIND response). Exits 0 only when every response came,
// the association was released and the connection closed without any network
// error; any error, even after a successful answer, exits 2.
'use strict';
const { Client, Dataset, requests, constants } = require('dcmjs-dimse');

const [port, command, uid, status, ...keys] = process.argv.slice(2);
const mppsClass = constants.SopClass.ModalityPerformedProcedureStep;
const elements = {};
if (status && status !== '-') elements.PerformedProcedureStepStatus = status;

let request;
if (command === 'echo') {
  request = new requests.CEchoRequest();
} else if (command === 'find') {
  // Only these keys: the library's worklist template also sends Pregnancy
  // Status with a value, which the server answers with pending 0xFF01, and
  // the library takes 0xFF01 for a final response (it then releases twice).
  request = new requests.CFindRequest();
  request.setAffectedSopClassUid(constants.SopClass.ModalityWorklistInformationModelFind);
  request.setDataset(new Dataset({
    AccessionNumber: uid,
    PatientName: '',
    ScheduledProcedureStepSequence: [{ Modality: '', ScheduledProcedureStepStartDate: '' }],
  }));
} else if (command === 'create') {
  const [accession, study, step] = keys;
  elements.Modality = 'CT';
  elements.PerformedProcedureStepStartDate = '20240315';
  elements.ScheduledStepAttributesSequence = [
    { AccessionNumber: accession, StudyInstanceUID: study, ScheduledProcedureStepID: step },
  ];
  request = new requests.NCreateRequest(mppsClass, uid === '-' ? '' : uid);
  request.setDataset(new Dataset(elements));
} else if (command === 'set') {
  elements.PerformedProcedureStepEndDate = '20240315';
  request = new requests.NSetRequest(mppsClass, uid);
  request.setDataset(new Dataset(elements));
} else {
  console.error('usage: mpps_client.js PORT echo|find|create|set ...');
  process.exit(64);
}

let answered = false;
let released = false;
let failed = false;
const fail = (why) => {
  failed = true;
  console.error(why);
};
request.on('response', (response) => {
  const code = response.getStatus();
  if (code === constants.Status.Pending) {
    if (response.hasDataset()) console.log(`match=${response.getDataset().getElement('AccessionNumber')}`);
    return;
  }
  answered = true;
  console.log(`status=0x${code.toString(16).padStart(4, '0')} uid=${response.getAffectedSopInstanceUid() || ''}`);
});
const client = new Client();
client.on('associationRejected', (result) => fail(`association rejected: ${JSON.stringify(result)}`));
client.on('associationReleased', () => {
  released = true;
});
client.on('networkError', (e) => fail(`network error: ${e.message}`));
client.on('closed', () => {
  if (!answered) fail('no response');
  if (!released) fail('association not released');
  process.exit(failed ? 2 : 0);
});
client.addRequest(request);
client.send('127.0.0.1', Number(port), 'MPPSSCU', 'TARVELIN');
setTimeout(() => {
  console.error('not finished within 15 s');
  process.exit(2);
}, 15000).unref();
